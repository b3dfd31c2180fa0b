// Full path names and lead bytes: GetFullPathNameA resolves what exists
// as the system does, the rest by the letter, for paths of any length.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <string>

#include "platform_scratch.h"

using namespace platformtest;

namespace {

std::string backslashed(std::string p)
{
    for (char &c : p)
        if (c == '/')
            c = '\\';
    return p;
}

// The full path, or "<error N>".
std::string fullpathof(const std::string &path)
{
    DWORD need = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (need == 0)
        return "<error " + std::to_string(GetLastError()) + ">";
    std::string buf(need, '\0');
    DWORD n = GetFullPathNameA(path.c_str(), need, &buf[0], nullptr);
    EXPECT_EQ(need - 1, n) << path;
    buf.resize(n);
    return buf;
}

class PlatformNames : public ::testing::Test {
protected:
    scratch s;
    std::string base; // the scratch directory's full path, as the result spells it
    int cwd = -1;

    void SetUp() override
    {
        ASSERT_FALSE(s.path.empty());
        char *real = realpath(s.path.c_str(), nullptr);
        ASSERT_NE(nullptr, real);
        base = backslashed(real);
        free(real);
        cwd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(cwd, 0);
        ASSERT_EQ(0, chdir(s.path.c_str()));
        ASSERT_EQ(0, mkdir("sub", 0755));
        ASSERT_TRUE(writefile("file", ""));
        ASSERT_EQ(0, symlink("sub", "link"));
        ASSERT_EQ(0, symlink((s.path + "/sub").c_str(), "abslink"));
        ASSERT_EQ(0, symlink("nowhere/deeper", "dangling"));
        ASSERT_EQ(0, symlink("loop", "loop"));
    }
    void TearDown() override
    {
        if (cwd >= 0) {
            EXPECT_EQ(0, fchdir(cwd));
            close(cwd);
        }
    }
};

TEST_F(PlatformNames, FullPathTable)
{
    const struct {
        std::string path;
        std::string expected; // after the scratch directory's full path
    } cases[] = {
        {"missing", "\\missing"},
        {"sub", "\\sub"},
        {"sub/../missing", "\\missing"},
        {"sub\\x\\..\\y", "\\sub\\y"},
        {"missing/../sub/./f", "\\sub\\f"},
        {"link", "\\sub"},
        {"link/f", "\\sub\\f"},
        {"link/../f", "\\f"},
        {"abslink\\x", "\\sub\\x"},
        {"dangling", "\\nowhere\\deeper"},
        {"sub/", "\\sub\\"},
        {"link\\", "\\sub\\"},
        {"missing/", "\\missing\\"},
        {".", ""},
        {"./", "\\"},
        {"file/x", "\\file\\x"},
        {"file/..", ""},
        {"sub//f", "\\sub\\f"},
        {"C:x", "\\C:x"},
        {s.path + "/sub", "\\sub"},
        {backslashed(s.path) + "\\link\\..\\file", "\\file"},
    };
    for (const auto &k : cases)
        EXPECT_EQ(base + k.expected, fullpathof(k.path)) << k.path;
}

TEST_F(PlatformNames, RootIsOneBackslash)
{
    for (const char *root : {"/", "\\", "//", "/..", "\\..\\..", "/."})
        EXPECT_EQ("\\", fullpathof(root)) << root;
    EXPECT_EQ("\\tmp", fullpathof("/tmp/sub/.."));
}

TEST_F(PlatformNames, FailsOnALoopAndAnEmptyName)
{
    EXPECT_EQ("<error 1921>", fullpathof("loop"));
    EXPECT_EQ("<error 1921>", fullpathof("loop/x"));
    char buf[16];
    EXPECT_EQ(0u, GetFullPathNameA("", sizeof buf, buf, nullptr));
}

TEST_F(PlatformNames, LastComponentPointer)
{
    char buf[4096];
    LPSTR part = buf;
    ASSERT_NE(0u, GetFullPathNameA("sub/name", sizeof buf, buf, &part));
    EXPECT_STREQ("name", part);
    ASSERT_NE(0u, GetFullPathNameA("sub/", sizeof buf, buf, &part));
    EXPECT_EQ(nullptr, part);
    ASSERT_NE(0u, GetFullPathNameA("/", sizeof buf, buf, &part));
    EXPECT_EQ(nullptr, part);
}

// A buffer too small is left alone and the size needed, with its NUL, is
// told; one that fits gets the path and its length without the NUL.
TEST_F(PlatformNames, BufferSizes)
{
    const std::string full = base + "\\sub\\x";
    const DWORD len = full.size();
    EXPECT_EQ(len + 1, GetFullPathNameA("sub/x", 0, nullptr, nullptr));
    std::string buf(len + 1, 'Z');
    EXPECT_EQ(len + 1, GetFullPathNameA("sub/x", len, &buf[0], nullptr));
    EXPECT_EQ(std::string(len + 1, 'Z'), buf);
    EXPECT_EQ(len, GetFullPathNameA("sub/x", len + 1, &buf[0], nullptr));
    EXPECT_EQ(full, buf.c_str());
}

// Paths far beyond the system's limit resolve like short ones.
TEST_F(PlatformNames, PathLongerThanTheSystemLimit)
{
    const std::string name(200, 'd');
    const int depth = 30;
    std::string rel = ".";
    int fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < depth; i++) {
        ASSERT_EQ(0, mkdirat(fd, name.c_str(), 0755));
        int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        rel += "/" + name;
    }
    ASSERT_EQ(0, symlinkat("..", fd, "up"));
    std::string deep, upper;
    for (int i = 0; i < depth; i++) {
        deep += "\\" + name;
        if (i < depth - 1)
            upper += "\\" + name;
    }
    ASSERT_GT(rel.size(), static_cast<size_t>(PATH_MAX));

    EXPECT_EQ(base + deep + "\\y", fullpathof(rel + "/x/../y"));
    EXPECT_EQ(base + upper + "\\q", fullpathof(rel + "/up/q"));
    EXPECT_EQ(base + deep + "\\", fullpathof(s.path + rel.substr(1) + "/"));
    // From a working directory that deep.
    ASSERT_EQ(0, fchdir(fd));
    EXPECT_EQ(base + deep + "\\z", fullpathof("z"));
    EXPECT_EQ(base + upper, fullpathof("up"));
    close(fd);
}

// UTF-8 has no lead bytes in this sense: a directory named "x\xc3" keeps
// the separator after it.
TEST(PlatformLeadBytes, OnlyBytesThatOpenADoubleByteCharacter)
{
    std::string before = setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(nullptr, setlocale(LC_CTYPE, "C"));
    for (int c = 0; c < 256; c++)
        EXPECT_FALSE(IsDBCSLeadByte(static_cast<BYTE>(c))) << c;
    if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        setlocale(LC_CTYPE, before.c_str());
        GTEST_SKIP() << "no UTF-8 locale";
    }
    for (int c = 0; c < 256; c++)
        EXPECT_FALSE(IsDBCSLeadByte(static_cast<BYTE>(c))) << c;
    setlocale(LC_CTYPE, before.c_str());
}

} // namespace
