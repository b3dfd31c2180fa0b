// Handles and times: the three times through GetFileTime and SetFileTime
// to the nanosecond, the creation-time record in Samba's layout, the
// no-sharing open and the file size.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <initializer_list>
#include <string>

#include "platform_scratch.h"

using namespace platformtest;

namespace {

const uint64_t EPOCH1970 = 116444736000000000ull; // 1970 in 100 ns units since 1601

FILETIME ft(uint64_t units, DWORD ns = 0)
{
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(units);
    t.dwHighDateTime = static_cast<DWORD>(units >> 32);
    t.dwNanoseconds = ns;
    return t;
}

uint64_t unitsof(const FILETIME &t)
{
    return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

FILETIME fromunix(int64_t sec, long nsec)
{
    return ft(static_cast<uint64_t>(sec * 10000000 + nsec / 100 + static_cast<int64_t>(EPOCH1970)),
              nsec % 100);
}

std::string bytes(std::initializer_list<int> list)
{
    std::string b;
    for (int c : list)
        b += static_cast<char>(c);
    return b;
}

std::string le64(uint64_t v)
{
    std::string b;
    for (int i = 0; i < 8; i++)
        b += static_cast<char>(v >> (8 * i));
    return b;
}

HANDLE openfortimes(const std::string &path, DWORD access)
{
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// The open that isempty makes: reading, sharing nothing.
HANDLE openalone(const std::string &path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool gettimes(const std::string &path, FILETIME *c, FILETIME *a, FILETIME *w)
{
    HANDLE h = openfortimes(path, GENERIC_READ);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BOOL ok = GetFileTime(h, c, a, w);
    CloseHandle(h);
    return ok;
}

bool setcreation(const std::string &path, const FILETIME &c)
{
    HANDLE h = openfortimes(path, GENERIC_WRITE);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BOOL ok = SetFileTime(h, &c, nullptr, nullptr);
    CloseHandle(h);
    return ok;
}

void expectsame(const FILETIME &expected, const FILETIME &actual, const std::string &what)
{
    EXPECT_EQ(unitsof(expected), unitsof(actual)) << what;
    EXPECT_EQ(expected.dwNanoseconds, actual.dwNanoseconds) << what;
}

class PlatformTimes : public ::testing::Test {
protected:
    scratch s;
    std::string file;
    void SetUp() override
    {
        ASSERT_FALSE(s.path.empty());
        file = s / "file";
        ASSERT_TRUE(writefile(file, "data"));
    }
};

TEST_F(PlatformTimes, AccessAndWriteExactToTheNanosecond)
{
    const struct {
        int64_t asec;
        long ansec;
        int64_t wsec;
        long wnsec;
    } cases[] = {
        {1000000000, 123456789, 1100000000, 987654321},
        {0, 0, 1, 1},
        {1700000000, 999999999, 1700000000, 99},
        {-100000, 5, 4102444800, 500},
    };
    for (const auto &k : cases) {
        FILETIME a = fromunix(k.asec, k.ansec), w = fromunix(k.wsec, k.wnsec);
        HANDLE h = openfortimes(file, GENERIC_WRITE);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        EXPECT_TRUE(SetFileTime(h, nullptr, &a, &w));
        CloseHandle(h);
        struct stat st = lstatof(file);
        EXPECT_TRUE(sametime(ts(k.asec, k.ansec), st.st_atim)) << k.asec;
        EXPECT_TRUE(sametime(ts(k.wsec, k.wnsec), st.st_mtim)) << k.wsec;
        FILETIME ra, rw;
        ASSERT_TRUE(gettimes(file, nullptr, &ra, &rw));
        expectsame(a, ra, "access");
        expectsame(w, rw, "write");
        EXPECT_EQ(0, CompareFileTime(&a, &ra));
    }
}

// A handle reads back the times it wrote itself, and opening it for
// times leaves the access time as it was.
TEST_F(PlatformTimes, HandleReadsWhatItWrote)
{
    ASSERT_TRUE(settimes(file, ts(1000, 1), ts(2000, 2)));
    HANDLE h = openfortimes(file, GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FILETIME c = ft(0x01C0FFEE12345670ull), a = fromunix(3000, 3), w = fromunix(4000, 4);
    FILETIME rc, ra, rw;
    ASSERT_TRUE(GetFileTime(h, nullptr, &ra, &rw));
    expectsame(fromunix(1000, 1), ra, "access before");
    expectsame(fromunix(2000, 2), rw, "write before");
    EXPECT_TRUE(SetFileTime(h, &c, &a, &w));
    ASSERT_TRUE(GetFileTime(h, &rc, &ra, &rw));
    CloseHandle(h);
    expectsame(c, rc, "creation after");
    expectsame(a, ra, "access after");
    expectsame(w, rw, "write after");
}

TEST_F(PlatformTimes, UnitsSince1601)
{
    ASSERT_TRUE(settimes(file, ts(0, 0), ts(0, 150)));
    FILETIME a, w;
    ASSERT_TRUE(gettimes(file, nullptr, &a, &w));
    EXPECT_EQ(0xD53E8000u, a.dwLowDateTime);
    EXPECT_EQ(0x019DB1DEu, a.dwHighDateTime);
    EXPECT_EQ(0u, a.dwNanoseconds);
    EXPECT_EQ(0xD53E8001u, w.dwLowDateTime);
    EXPECT_EQ(50u, w.dwNanoseconds);
}

TEST(PlatformCompareFileTime, OrderWithNanoseconds)
{
    const struct {
        FILETIME a, b;
        LONG result;
    } cases[] = {
        {ft(100, 0), ft(100, 0), 0},
        {ft(100, 5), ft(100, 5), 0},
        {ft(99, 99), ft(100, 0), -1},
        {ft(100, 1), ft(100, 0), 1},
        {ft(100, 0), ft(100, 1), -1},
        {ft(0x100000000ull, 0), ft(0xFFFFFFFFull, 99), 1},
        {ft(0xFFFFFFFFull, 0), ft(0x100000000ull, 0), -1},
    };
    for (const auto &k : cases) {
        EXPECT_EQ(k.result, CompareFileTime(&k.a, &k.b)) << unitsof(k.a) << "." << k.a.dwNanoseconds;
        EXPECT_EQ(-k.result, CompareFileTime(&k.b, &k.a));
    }
}

TEST_F(PlatformTimes, NullOrZeroTimeLeavesItAlone)
{
    ASSERT_TRUE(settimes(file, ts(1000, 1), ts(2000, 2)));
    FILETIME zero = ft(0), w = fromunix(3000, 3);
    HANDLE h = openfortimes(file, GENERIC_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, nullptr));
    EXPECT_TRUE(SetFileTime(h, &zero, &zero, &w));
    CloseHandle(h);
    struct stat st = lstatof(file);
    EXPECT_TRUE(sametime(ts(1000, 1), st.st_atim));
    EXPECT_TRUE(sametime(ts(3000, 3), st.st_mtim));
    EXPECT_EQ("<none>", rawxattr(file, "user.DOSATTRIB"));
}

TEST_F(PlatformTimes, DirectoriesOpenWithBackupSemanticsWhateverTheirBit)
{
    std::string dir = s / "dir";
    ASSERT_EQ(0, mkdir(dir.c_str(), 0555));
    HANDLE h = CreateFileA(dir.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    h = openfortimes(dir, GENERIC_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FILETIME a = fromunix(1234567890, 111), w = fromunix(1234567891, 222);
    EXPECT_TRUE(SetFileTime(h, nullptr, &a, &w));
    CloseHandle(h);
    EXPECT_TRUE(sametime(ts(1234567890, 111), lstatof(dir).st_atim));
    EXPECT_TRUE(sametime(ts(1234567891, 222), lstatof(dir).st_mtim));
}

TEST_F(PlatformTimes, ReadOnlyFileCannotBeOpenedForWriting)
{
    ASSERT_EQ(0, chmod(file.c_str(), 0444));
    EXPECT_EQ(INVALID_HANDLE_VALUE, openfortimes(file, GENERIC_WRITE));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    HANDLE h = openfortimes(file, GENERIC_READ);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FILETIME w = fromunix(5, 5);
    EXPECT_FALSE(SetFileTime(h, nullptr, nullptr, &w)); // a handle for reading only
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    CloseHandle(h);
}

TEST_F(PlatformTimes, MissingItemAndBadHandle)
{
    EXPECT_EQ(INVALID_HANDLE_VALUE, openfortimes(s / "missing", GENERIC_READ));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, openfortimes(s / "nodir/missing", GENERIC_READ));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    FILETIME t;
    EXPECT_FALSE(GetFileTime(INVALID_HANDLE_VALUE, &t, &t, &t));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

// A handle names the item itself: a link is never followed.
TEST_F(PlatformTimes, HandleOfALinkIsTheLink)
{
    std::string link = s / "link";
    ASSERT_EQ(0, symlink("file", link.c_str()));
    ASSERT_TRUE(settimes(file, ts(100, 1), ts(200, 2)));
    ASSERT_TRUE(settimes(link, ts(300, 3), ts(400, 4)));
    FILETIME a, w;
    ASSERT_TRUE(gettimes(link, nullptr, &a, &w));
    expectsame(fromunix(400, 4), w, "link's own write time");

    HANDLE h = openfortimes(link, GENERIC_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FILETIME c = fromunix(50, 0);
    a = fromunix(500, 5);
    w = fromunix(600, 6);
    EXPECT_TRUE(SetFileTime(h, &c, &a, &w));
    CloseHandle(h);
    EXPECT_TRUE(sametime(ts(600, 6), lstatof(link).st_mtim));
    EXPECT_TRUE(sametime(ts(200, 2), lstatof(file).st_mtim));
    EXPECT_EQ("<none>", rawxattr(file, "user.DOSATTRIB"));
}

// The record that a Samba server keeps, byte for byte: the empty string
// padded to two bytes, version 5 twice, valid flags 0x11, attributes and
// the creation time, little-endian.
TEST_F(PlatformTimes, CreationRecordLayout)
{
    const uint64_t t = 0x01D5A1B2C3D4E5F0ull;
    const std::string head = bytes({0, 0, 5, 0, 5, 0, 0, 0, 0x11, 0, 0, 0});
    std::string dir = s / "dir", rodir = s / "rodir", rofile = s / "rofile";
    ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
    ASSERT_EQ(0, mkdir(rodir.c_str(), 0755));
    ASSERT_TRUE(writefile(rofile, "", 0644));

    ASSERT_TRUE(setcreation(file, ft(t)));
    EXPECT_EQ(head + bytes({0x20, 0, 0, 0}) + le64(t), rawxattr(file, "user.DOSATTRIB"));
    ASSERT_TRUE(setcreation(dir, ft(t)));
    EXPECT_EQ(head + bytes({0x10, 0, 0, 0}) + le64(t), rawxattr(dir, "user.DOSATTRIB"));
    // Written while writable, then locked, as the programs do: the record
    // follows the read-only bit.
    ASSERT_TRUE(setcreation(rofile, ft(t)));
    ASSERT_TRUE(SetFileAttributesA(rofile.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(head + bytes({0x21, 0, 0, 0}) + le64(t), rawxattr(rofile, "user.DOSATTRIB"));
    ASSERT_TRUE(setcreation(rodir, ft(t)));
    ASSERT_TRUE(SetFileAttributesA(rodir.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(head + bytes({0x11, 0, 0, 0}) + le64(t), rawxattr(rodir, "user.DOSATTRIB"));
    // Written again while read-only, where we may: the bit stays.
    if (geteuid() == 0) {
        ASSERT_TRUE(setcreation(rodir, ft(t + 100)));
        EXPECT_EQ(head + bytes({0x11, 0, 0, 0}) + le64(t + 100), rawxattr(rodir, "user.DOSATTRIB"));
    }
}

TEST_F(PlatformTimes, CreationTimeRoundTrip)
{
    FILETIME c = ft(0x01C0FFEE12345670ull), rc;
    ASSERT_TRUE(setcreation(file, c));
    ASSERT_TRUE(gettimes(file, &rc, nullptr, nullptr));
    expectsame(c, rc, "GetFileTime");
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data));
    expectsame(c, data.ftCreationTime, "GetFileAttributesExA");
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((s / "f*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FindClose(h);
    expectsame(c, found.ftCreationTime, "FindFirstFileA");
}

// Hidden and system bits that a Samba client set stay where they are.
TEST_F(PlatformTimes, CreationRecordKeepsOtherAttributes)
{
    std::string old = bytes({0, 0, 5, 0, 5, 0, 0, 0, 0x11, 0, 0, 0, 0x26, 0, 0, 0}) + le64(1);
    ASSERT_TRUE(setraw(file, "user.DOSATTRIB", old));
    ASSERT_TRUE(setcreation(file, ft(0x01D000000000000Full)));
    std::string rec = rawxattr(file, "user.DOSATTRIB");
    ASSERT_EQ(24u, rec.size());
    EXPECT_EQ(0x26, rec[12]);
    EXPECT_EQ(le64(0x01D000000000000Full), rec.substr(16));
}

// Older servers wrote versions 3 and 4; the creation time is read from
// them as well.  The examples follow Samba's NDR layout: the hex string
// and its padding to two bytes, the version and the union level, padding
// to four bytes, then the version's fields.
TEST_F(PlatformTimes, ReadsRecordVersions3And4)
{
    const uint64_t t = 0x01D5A1B2C3D4E5F0ull;
    const struct {
        const char *what;
        std::string blob;
    } cases[] = {
        {"version 3 with its hex string",
         std::string("0x20", 5) + bytes({0, 3, 0, 3, 0, 0, 0, 0x11, 0, 0, 0, 0x20, 0, 0, 0,
                                         0, 0, 0, 0}) +
             le64(4) + le64(4096) + le64(t) + le64(t + 1)},
        {"version 3 without it",
         bytes({0, 0, 3, 0, 3, 0, 0, 0, 0x11, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0, 0}) + le64(4) +
             le64(4096) + le64(t) + le64(t + 1)},
        {"version 4", bytes({0, 0, 4, 0, 4, 0, 0, 0, 0x51, 0, 0, 0, 0x20, 0, 0, 0}) +
                          le64(t - 5) + le64(t)},
        {"version 5", bytes({0, 0, 5, 0, 5, 0, 0, 0, 0x11, 0, 0, 0, 0x20, 0, 0, 0}) + le64(t)},
    };
    for (const auto &k : cases) {
        ASSERT_TRUE(setraw(file, "user.DOSATTRIB", k.blob)) << k.what;
        FILETIME c;
        ASSERT_TRUE(gettimes(file, &c, nullptr, nullptr)) << k.what;
        expectsame(ft(t), c, k.what);
    }
}

// A record without a creation time, or one this layer cannot read, leaves
// the creation time to the system: the birth time, else the write time.
TEST_F(PlatformTimes, CreationFromTheSystemWithoutARecord)
{
    struct statx sx;
    ASSERT_EQ(0, statx(AT_FDCWD, file.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &sx));
    const statx_timestamp &birth = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
    FILETIME expected = fromunix(birth.tv_sec, birth.tv_nsec), c;
    const std::string cases[] = {
        "",
        bytes({0, 0, 5, 0, 5, 0, 0, 0, 0x01, 0, 0, 0, 0x20, 0, 0, 0}) + le64(77),
        bytes({0, 0, 9, 0, 9, 0, 0, 0}),
        "0x20",
    };
    for (const std::string &blob : cases) {
        if (blob.empty())
            removexattr(file.c_str(), "user.DOSATTRIB");
        else
            ASSERT_TRUE(setraw(file, "user.DOSATTRIB", blob));
        ASSERT_TRUE(gettimes(file, &c, nullptr, nullptr));
        expectsame(expected, c, "blob of " + std::to_string(blob.size()) + " bytes");
    }
}

// Where the file system keeps no user attributes, the creation time is
// dropped and the other two times are still set.
TEST_F(PlatformTimes, NoUserAttributesNoCreationTime)
{
    mounted plain(s / "plain", "ramfs", 0, nullptr);
    if (!plain.ok)
        GTEST_SKIP() << "needs root to mount a file system without user attributes";
    std::string p = s / "plain/file";
    ASSERT_TRUE(writefile(p, "x"));
    if (setraw(p, "user.probe", "1"))
        GTEST_SKIP() << "this ramfs keeps user attributes";
    FILETIME c = ft(0x01C000000000000Full), a = fromunix(10, 1), w = fromunix(20, 2);
    HANDLE h = openfortimes(p, GENERIC_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_TRUE(SetFileTime(h, &c, &a, &w));
    CloseHandle(h);
    EXPECT_TRUE(sametime(ts(10, 1), lstatof(p).st_atim));
    EXPECT_TRUE(sametime(ts(20, 2), lstatof(p).st_mtim));
}

// The no-sharing open fails while anyone else holds the file open.
TEST_F(PlatformTimes, OpenWithoutSharingFailsWhileHeldElsewhere)
{
    HANDLE h = openalone(file);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << GetLastError();
    EXPECT_TRUE(CloseHandle(h));

    int fd = open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, openalone(file));
    EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
    h = openfortimes(file, GENERIC_READ); // a sharing open is not refused
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    close(fd);

    int ready[2], release[2];
    ASSERT_EQ(0, pipe(ready));
    ASSERT_EQ(0, pipe(release));
    pid_t child = fork();
    if (child == 0) {
        int held = open(file.c_str(), O_WRONLY);
        char c = held >= 0 ? 'y' : 'n';
        if (write(ready[1], &c, 1) != 1 || read(release[0], &c, 1) < 0)
            _exit(1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(1, read(ready[0], &c, 1));
    ASSERT_EQ('y', c);
    EXPECT_EQ(INVALID_HANDLE_VALUE, openalone(file));
    EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
    ASSERT_EQ(1, write(release[1], "x", 1));
    waitpid(child, nullptr, 0);
    for (int p : {ready[0], ready[1], release[0], release[1]})
        close(p);

    h = openalone(file);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
}

// Where the system cannot tell (no lease for a file of another owner),
// the open goes ahead.
TEST_F(PlatformTimes, OpenWithoutSharingWhereTheSystemCannotTell)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ASSERT_EQ(0, chmod(s.path.c_str(), 0755));
    long long opened = asnobody([&] {
        HANDLE h = openalone(file);
        if (h == INVALID_HANDLE_VALUE)
            return static_cast<long long>(GetLastError());
        CloseHandle(h);
        return 0LL;
    });
    EXPECT_EQ(0, opened);
}

// An open for times is refused where an open of the file's data would be,
// and a handle may write times only where their owner could: anyone else
// is refused even the times the file already has.
TEST_F(PlatformTimes, OpenForTimesAsTheDataWouldOpen)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ASSERT_EQ(0, chmod(s.path.c_str(), 0755));
    const struct {
        const char *what;
        uid_t owner;
        mode_t mode;
        DWORD access;
        DWORD openerror; // 0: the open succeeds
        DWORD seterror;  // 0: writing the times it has succeeds
    } cases[] = {
        {"own file, owner may not read", NOBODY, 0200, GENERIC_READ, ERROR_ACCESS_DENIED, 0},
        {"own file, owner may read", NOBODY, 0600, GENERIC_READ | GENERIC_WRITE, 0, 0},
        {"own file, only others may read", NOBODY, 0204, GENERIC_READ, ERROR_ACCESS_DENIED, 0},
        {"another's file, others may read", 0, 0604, GENERIC_READ, 0, 0},
        {"another's file, others may not read", 0, 0640, GENERIC_READ, ERROR_ACCESS_DENIED, 0},
        {"another's file, others may write", 0, 0666, GENERIC_WRITE, 0, ERROR_ACCESS_DENIED},
        {"another's file, others may not write", 0, 0644, GENERIC_WRITE, ERROR_ACCESS_DENIED, 0},
    };
    for (const auto &k : cases) {
        ASSERT_EQ(0, chown(file.c_str(), k.owner, k.owner));
        ASSERT_EQ(0, chmod(file.c_str(), k.mode));
        ASSERT_TRUE(settimes(file, ts(1000, 1), ts(2000, 2)));
        FILETIME a = fromunix(1000, 1), w = fromunix(2000, 2);
        long long outcome = asnobody([&] {
            HANDLE h = openfortimes(file, k.access);
            if (h == INVALID_HANDLE_VALUE)
                return 1000 + static_cast<long long>(GetLastError());
            DWORD error = 0;
            if ((k.access & GENERIC_WRITE) && !SetFileTime(h, nullptr, &a, &w))
                error = GetLastError();
            CloseHandle(h);
            return static_cast<long long>(error);
        });
        if (k.openerror != 0)
            EXPECT_EQ(1000 + k.openerror, outcome) << k.what;
        else
            EXPECT_EQ(k.seterror, outcome) << k.what;
    }
}

TEST_F(PlatformTimes, FileSizeInTwoHalves)
{
    const struct {
        off_t size;
        DWORD low, high;
    } cases[] = {
        {0, 0, 0},
        {4, 4, 0},
        {0xFFFFFFFFLL, 0xFFFFFFFF, 0},
        {0x140000003LL, 0x40000003, 1},
    };
    for (const auto &k : cases) {
        ASSERT_EQ(0, truncate(file.c_str(), k.size));
        HANDLE h = openalone(file);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD high = 77;
        GetFileAttributesA((s / "missing").c_str()); // leaves an error behind
        EXPECT_EQ(k.low, GetFileSize(h, &high)) << k.size;
        EXPECT_EQ(k.high, high) << k.size;
        if (k.low == INVALID_FILE_SIZE) {
            EXPECT_EQ(0u, GetLastError()) << "a size, not a failure";
        }
        CloseHandle(h);
    }
}

} // namespace
