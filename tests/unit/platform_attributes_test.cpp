// The attribute word and its read-only bit, both ways, against the mode
// bits of real files, directories and links.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "platform_scratch.h"

using namespace platformtest;

namespace {

class PlatformAttributes : public ::testing::Test {
protected:
    scratch s;
    void SetUp() override { ASSERT_FALSE(s.path.empty()); }
};

// Read-only means that nobody may write: any one write bit makes the
// item writable.
TEST_F(PlatformAttributes, WordFromModeBits)
{
    const struct {
        bool directory;
        mode_t mode;
        DWORD word;
    } cases[] = {
        {false, 0644, 0x20}, {false, 0444, 0x21}, {false, 0400, 0x21}, {false, 0000, 0x21},
        {false, 0464, 0x20}, {false, 0446, 0x20}, {false, 0200, 0x20}, {false, 0755, 0x20},
        {true, 0755, 0x10},  {true, 0555, 0x11},  {true, 0575, 0x10},  {true, 0000, 0x11},
    };
    for (const auto &k : cases) {
        std::string p = s / "item";
        removeat(AT_FDCWD, p.c_str());
        if (k.directory)
            ASSERT_EQ(0, mkdir(p.c_str(), 0700));
        else
            ASSERT_TRUE(writefile(p, ""));
        ASSERT_EQ(0, chmod(p.c_str(), k.mode));
        EXPECT_EQ(k.word, GetFileAttributesA(p.c_str())) << std::oct << k.mode;
    }
}

// A user's path is followed; a link that leads nowhere is a link.
TEST_F(PlatformAttributes, LinksFollowedUnlessDangling)
{
    ASSERT_EQ(0, mkdir((s / "dir").c_str(), 0555));
    ASSERT_TRUE(writefile(s / "ro", "", 0444));
    ASSERT_EQ(0, symlink("dir", (s / "todir").c_str()));
    ASSERT_EQ(0, symlink("ro", (s / "toro").c_str()));
    ASSERT_EQ(0, symlink("nowhere", (s / "dangling").c_str()));
    ASSERT_EQ(0, symlink("self", (s / "self").c_str()));
    EXPECT_EQ(0x11u, GetFileAttributesA((s / "todir").c_str()));
    EXPECT_EQ(0x21u, GetFileAttributesA((s / "toro").c_str()));
    EXPECT_EQ(0x420u, GetFileAttributesA((s / "dangling").c_str()));
    EXPECT_EQ(0x420u, GetFileAttributesA((s / "self").c_str()));

    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA((s / "dangling").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(0x420u, data.dwFileAttributes);
}

TEST_F(PlatformAttributes, MissingItem)
{
    ASSERT_TRUE(writefile(s / "file", ""));
    const struct {
        const char *name;
        DWORD code;
    } cases[] = {
        {"missing", ERROR_FILE_NOT_FOUND},
        {"nodir/missing", ERROR_PATH_NOT_FOUND},
        {"nodir\\deeper\\missing", ERROR_PATH_NOT_FOUND},
        {"file/missing", ERROR_DIRECTORY},
    };
    for (const auto &k : cases) {
        std::string p = s / k.name;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(p.c_str())) << k.name;
        EXPECT_EQ(k.code, GetLastError()) << k.name;
        WIN32_FILE_ATTRIBUTE_DATA data;
        EXPECT_FALSE(GetFileAttributesExA(p.c_str(), GetFileExInfoStandard, &data)) << k.name;
        EXPECT_EQ(k.code, GetLastError()) << k.name;
        EXPECT_FALSE(SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_READONLY)) << k.name;
        EXPECT_EQ(k.code, GetLastError()) << k.name;
    }
}

// The read-only bit clears every write bit; without it the owner may
// write again.  The other bits of the word mean nothing here.
TEST_F(PlatformAttributes, SetReadOnlyBitOnModeBits)
{
    const struct {
        bool directory;
        mode_t before;
        DWORD word;
        mode_t after;
    } cases[] = {
        {false, 0644, 0x21, 0444}, {false, 0666, 0x01, 0444}, {false, 0620, 0x21, 0400},
        {false, 0444, 0x20, 0644}, {false, 0400, 0x80, 0600}, {false, 0044, 0x00, 0244},
        {false, 0664, 0x20, 0664}, {false, 0444, 0x21, 0444}, {false, 0755, 0x21, 0555},
        {true, 0755, 0x11, 0555},  {true, 0775, 0x01, 0555},  {true, 0555, 0x10, 0755},
        {true, 0500, 0x00, 0700},
    };
    for (const auto &k : cases) {
        std::string p = s / "item";
        removeat(AT_FDCWD, p.c_str());
        if (k.directory)
            ASSERT_EQ(0, mkdir(p.c_str(), 0700));
        else
            ASSERT_TRUE(writefile(p, ""));
        ASSERT_EQ(0, chmod(p.c_str(), k.before));
        EXPECT_TRUE(SetFileAttributesA(p.c_str(), k.word)) << std::oct << k.before;
        EXPECT_EQ(k.after, permof(p)) << std::oct << k.before << " word " << k.word;
    }
}

// A link's own attributes cannot change, and the call never reaches what
// it points at.
TEST_F(PlatformAttributes, SetOnALinkTouchesNothing)
{
    ASSERT_TRUE(writefile(s / "target", "", 0644));
    ASSERT_EQ(0, symlink("target", (s / "link").c_str()));
    ASSERT_EQ(0, symlink("nowhere", (s / "dangling").c_str()));
    EXPECT_TRUE(SetFileAttributesA((s / "link").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(0644, permof(s / "target"));
    EXPECT_TRUE(S_ISLNK(lstatof(s / "link").st_mode));
    EXPECT_TRUE(SetFileAttributesA((s / "dangling").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(exists(s / "nowhere"));
}

TEST_F(PlatformAttributes, AttributeDataOfAFile)
{
    std::string p = s / "data";
    ASSERT_TRUE(writefile(p, std::string(1000, 'x'), 0444));
    ASSERT_TRUE(settimes(p, ts(1000000000, 123456789), ts(1100000000, 987654321)));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(p.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(0x21u, data.dwFileAttributes);
    EXPECT_EQ(0u, data.nFileSizeHigh);
    EXPECT_EQ(1000u, data.nFileSizeLow);
    // 100 ns units since 1601, and the nanoseconds below them.
    uint64_t access = (1000000000ull + 11644473600ull) * 10000000 + 1234567;
    uint64_t write = (1100000000ull + 11644473600ull) * 10000000 + 9876543;
    EXPECT_EQ(static_cast<DWORD>(access), data.ftLastAccessTime.dwLowDateTime);
    EXPECT_EQ(static_cast<DWORD>(access >> 32), data.ftLastAccessTime.dwHighDateTime);
    EXPECT_EQ(89u, data.ftLastAccessTime.dwNanoseconds);
    EXPECT_EQ(static_cast<DWORD>(write), data.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(static_cast<DWORD>(write >> 32), data.ftLastWriteTime.dwHighDateTime);
    EXPECT_EQ(21u, data.ftLastWriteTime.dwNanoseconds);

    ASSERT_EQ(0, mkdir((s / "dir").c_str(), 0755));
    ASSERT_TRUE(GetFileAttributesExA((s / "dir").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(0x10u, data.dwFileAttributes);
    EXPECT_EQ(0u, data.nFileSizeLow);
}

// The record of a Samba server says read-only too; it is kept in step,
// also by a user who may write the record only while the file is
// writable.
TEST_F(PlatformAttributes, ReadOnlyBitKeptInTheCreationRecord)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    std::string p = s / "owned";
    ASSERT_EQ(0, chmod(s.path.c_str(), 0755));
    ASSERT_TRUE(writefile(p, "", 0644));
    ASSERT_EQ(0, chown(p.c_str(), NOBODY, NOBODY));
    FILETIME creation = {0x12345600, 0x01d00000, 0};
    HANDLE h = CreateFileA(p.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ASSERT_TRUE(SetFileTime(h, &creation, nullptr, nullptr));
    CloseHandle(h);
    ASSERT_EQ(0x20, static_cast<unsigned char>(rawxattr(p, "user.DOSATTRIB")[12]));

    long long attrib = asnobody([&] {
        if (!SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_READONLY))
            return -2LL;
        return static_cast<long long>(static_cast<unsigned char>(rawxattr(p, "user.DOSATTRIB")[12]));
    });
    EXPECT_EQ(0x21, attrib);
    EXPECT_EQ(0444, permof(p));
    attrib = asnobody([&] {
        if (!SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_ARCHIVE))
            return -2LL;
        return static_cast<long long>(static_cast<unsigned char>(rawxattr(p, "user.DOSATTRIB")[12]));
    });
    EXPECT_EQ(0x20, attrib);
    EXPECT_EQ(0644, permof(p));

    // The creation time stays what it was.
    std::string rec = rawxattr(p, "user.DOSATTRIB");
    ASSERT_EQ(24u, rec.size());
    EXPECT_EQ(std::string("\x00\x56\x34\x12\x00\x00\xd0\x01", 8), rec.substr(16));
}

} // namespace
