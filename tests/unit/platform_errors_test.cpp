// The platform layer's error codes: each system error a call can meet
// comes back as its Windows code, and FormatMessageA tells the system's
// own text for it with a line end.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "platform_scratch.h"

using namespace platformtest;

namespace {

struct errorcase {
    const char *what;
    std::function<BOOL(const scratch &)> call;
    DWORD code;
};

BOOL lookup(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class PlatformErrors : public ::testing::Test {
protected:
    scratch s;
    void SetUp() override
    {
        ASSERT_FALSE(s.path.empty());
        ASSERT_TRUE(writefile(s / "file", "x"));
        ASSERT_EQ(0, mkdir((s / "dir").c_str(), 0755));
        ASSERT_TRUE(writefile(s / "dir/inside", "y"));
        ASSERT_EQ(0, symlink("loop", (s / "loop").c_str()));
    }
};

TEST_F(PlatformErrors, EachSystemErrorHasItsCode)
{
    const errorcase cases[] = {
        {"missing item", [](const scratch &t) { return lookup(t / "missing"); },
         ERROR_FILE_NOT_FOUND},
        {"missing directory on the way",
         [](const scratch &t) { return lookup(t / "nodir/missing"); },
         ERROR_PATH_NOT_FOUND},
        {"missing directory, backslashes",
         [](const scratch &t) { return lookup(t.path + "\\nodir\\missing"); },
         ERROR_PATH_NOT_FOUND},
        {"a file on the way", [](const scratch &t) { return lookup(t / "file/x"); },
         ERROR_DIRECTORY},
        {"name too long",
         [](const scratch &t) { return lookup(t / std::string(300, 'n')); },
         ERROR_FILENAME_EXCED_RANGE},
        {"link loop", [](const scratch &t) { return lookup(t / "loop/x"); },
         ERROR_CANT_RESOLVE_FILENAME},
        {"directory exists",
         [](const scratch &t) {
             return CreateDirectoryExA(t.path.c_str(), (t / "dir").c_str(), nullptr);
         },
         ERROR_ALREADY_EXISTS},
        {"directory not empty",
         [](const scratch &t) { return RemoveDirectoryA((t / "dir").c_str()); },
         ERROR_DIR_NOT_EMPTY},
        {"delete a directory", [](const scratch &t) { return DeleteFileA((t / "dir").c_str()); },
         ERROR_ACCESS_DENIED},
        {"move into itself",
         [](const scratch &t) { return MoveFileA((t / "dir").c_str(), (t / "dir/sub").c_str()); },
         ERROR_INVALID_PARAMETER},
        {"remove a file as a directory",
         [](const scratch &t) { return RemoveDirectoryA((t / "file").c_str()); },
         ERROR_DIRECTORY},
    };
    for (const errorcase &k : cases) {
        EXPECT_FALSE(k.call(s)) << k.what;
        EXPECT_EQ(k.code, GetLastError()) << k.what;
    }
}

TEST_F(PlatformErrors, PermissionDeniedIsAccessDenied)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ASSERT_EQ(0, chmod(s.path.c_str(), 0755));
    ASSERT_EQ(0, chmod((s / "dir").c_str(), 0700));
    std::string inside = s / "dir/inside";
    long long code = asnobody([&] {
        return GetFileAttributesA(inside.c_str()) == INVALID_FILE_ATTRIBUTES
                   ? static_cast<long long>(GetLastError())
                   : 0;
    });
    EXPECT_EQ(ERROR_ACCESS_DENIED, code);
}

TEST_F(PlatformErrors, ReadOnlyFileSystemIsWriteProtect)
{
    mounted ro(s / "ro", "tmpfs", MS_RDONLY, "size=64k");
    if (!ro.ok)
        GTEST_SKIP() << "needs root to mount a read-only file system";
    EXPECT_FALSE(CreateDirectoryExA(s.path.c_str(), (s / "ro/new").c_str(), nullptr));
    EXPECT_EQ(ERROR_WRITE_PROTECT, GetLastError());
}

// The text is the system's own for the errno behind the code, with its
// line end, and the buffer is the caller's to free.
TEST_F(PlatformErrors, MessageIsTheSystemTextWithALineEnd)
{
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((s / "missing").c_str()));
    ASSERT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    char *text = nullptr;
    DWORD n = FormatMessageA(0x1300, nullptr, GetLastError(), 0x400,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(std::string(strerror(ENOENT)) + "\n", std::string(text));
    EXPECT_EQ(strlen(text), n);
    EXPECT_EQ(nullptr, LocalFree(text));
}

// Codes the layer sets itself, and codes met before the last one, still
// get a text that says what happened.
TEST_F(PlatformErrors, CodesWithoutAnErrnoHaveAText)
{
    const struct {
        DWORD code;
        int err;
    } cases[] = {
        {ERROR_SHARING_VIOLATION, EBUSY}, {ERROR_NOT_SUPPORTED, EOPNOTSUPP},
        {ERROR_NOT_SAME_DEVICE, EXDEV},   {ERROR_ACCESS_DENIED, EACCES},
        {ERROR_ALREADY_EXISTS, EEXIST},   {ERROR_FILE_EXISTS, EEXIST},
        {ERROR_DIR_NOT_EMPTY, ENOTEMPTY}, {ERROR_DISK_FULL, ENOSPC},
        {ERROR_PATH_NOT_FOUND, ENOENT},   {ERROR_CANT_RESOLVE_FILENAME, ELOOP},
    };
    ASSERT_FALSE(CopyFileA((s / "file").c_str(), (s / "file").c_str(), FALSE));
    ASSERT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
    for (const auto &k : cases)
        EXPECT_EQ(std::string(strerror(k.err)) + "\n", lasterrortext(k.code)) << k.code;
}

TEST_F(PlatformErrors, UnknownCodeHasNoText)
{
    char *text = nullptr;
    EXPECT_EQ(0u, FormatMessageA(0x1300, nullptr, 12345, 0x400, reinterpret_cast<LPSTR>(&text), 0,
                                 nullptr));
    EXPECT_EQ(nullptr, text);
}

TEST_F(PlatformErrors, CallersBufferTooSmall)
{
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((s / "missing").c_str()));
    char small[4] = "abc";
    EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0,
                                 small, sizeof small, nullptr));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_STREQ("abc", small);
}

TEST_F(PlatformErrors, LastErrorIsPerThread)
{
    ASSERT_FALSE(RemoveDirectoryA((s / "dir").c_str()));
    ASSERT_EQ(ERROR_DIR_NOT_EMPTY, GetLastError());
    DWORD there = 0;
    std::thread other([&] {
        GetFileAttributesA((s / "missing").c_str());
        there = GetLastError();
    });
    other.join();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, there);
    EXPECT_EQ(ERROR_DIR_NOT_EMPTY, GetLastError());
    EXPECT_EQ(std::string(strerror(ENOTEMPTY)) + "\n", lasterrortext(GetLastError()));
}

} // namespace
