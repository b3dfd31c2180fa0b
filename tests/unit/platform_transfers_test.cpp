// Transfers on real files: copying through a temporary file, moves that
// never replace and replacing moves, across file systems too, and the
// directory calls.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform_scratch.h"

using namespace platformtest;

namespace {

typedef std::vector<std::string> names;

// What a test needs to tell that an item did not change.
struct snapshot {
    bool there;
    mode_t mode;
    ino_t ino;
    struct timespec atime, mtime;
    std::string data, record;
};

snapshot take(const std::string &path)
{
    struct stat st;
    snapshot shot = {};
    shot.there = lstat(path.c_str(), &st) == 0;
    if (!shot.there)
        return shot;
    shot.mode = st.st_mode;
    shot.ino = st.st_ino;
    shot.atime = st.st_atim;
    shot.mtime = st.st_mtim;
    if (S_ISREG(st.st_mode))
        shot.data = readfile(path);
    shot.record = rawxattr(path, "user.DOSATTRIB");
    return shot;
}

void expectunchanged(const snapshot &before, const std::string &path, const std::string &what)
{
    snapshot after = take(path);
    EXPECT_EQ(before.there, after.there) << what << ": " << path;
    EXPECT_EQ(before.mode, after.mode) << what << ": " << path;
    EXPECT_EQ(before.ino, after.ino) << what << ": " << path;
    EXPECT_TRUE(sametime(before.atime, after.atime)) << what << ": access time of " << path;
    EXPECT_TRUE(sametime(before.mtime, after.mtime)) << what << ": write time of " << path;
    EXPECT_EQ(before.data, after.data) << what << ": " << path;
}

FILETIME creationof(const std::string &path)
{
    FILETIME c = {0, 0, 0};
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        GetFileTime(h, &c, nullptr, nullptr);
        CloseHandle(h);
    }
    return c;
}

bool setcreation(const std::string &path, DWORD high, DWORD low)
{
    FILETIME c = {low, high, 0};
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BOOL ok = SetFileTime(h, &c, nullptr, nullptr);
    CloseHandle(h);
    return ok;
}

std::string linktarget(const std::string &path)
{
    char buf[4096];
    ssize_t n = readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? "<not a link>" : std::string(buf, n);
}

class PlatformTransfers : public ::testing::Test {
protected:
    scratch s;
    std::string src;
    void SetUp() override
    {
        ASSERT_FALSE(s.path.empty());
        src = s / "src";
        ASSERT_TRUE(writefile(src, "source data\n", 0640));
        // An access time older than the write time: a read would move it.
        ASSERT_TRUE(settimes(src, ts(1000000000, 111111111), ts(1100000000, 222222222)));
    }
};

TEST_F(PlatformTransfers, CopyCarriesDataModeTimesAndUserAttributes)
{
    ASSERT_TRUE(setraw(src, "user.note", "kept"));
    ASSERT_TRUE(setcreation(src, 0x01D00000, 0x11111100));
    ASSERT_EQ(0, chmod(src.c_str(), 06750));
    ASSERT_TRUE(settimes(src, ts(1000000000, 111111111), ts(1100000000, 222222222)));
    std::string dst = s / "dst";
    ASSERT_TRUE(CopyFileA(src.c_str(), dst.c_str(), FALSE)) << GetLastError();
    EXPECT_EQ("source data\n", readfile(dst));
    EXPECT_EQ(0750, permof(dst)); // never setuid or setgid
    EXPECT_TRUE(sametime(ts(1100000000, 222222222), lstatof(dst).st_mtim));
    EXPECT_TRUE(sametime(ts(1000000000, 111111111), lstatof(dst).st_atim));
    EXPECT_EQ("kept", rawxattr(dst, "user.note"));
    EXPECT_EQ(rawxattr(src, "user.DOSATTRIB"), rawxattr(dst, "user.DOSATTRIB"));
    // Reading the source left its access time alone.
    EXPECT_TRUE(sametime(ts(1000000000, 111111111), lstatof(src).st_atim));
    EXPECT_EQ((names{"dst", "src"}), entries(s.path));
}

TEST_F(PlatformTransfers, CopyReplacesInOneStep)
{
    std::string dst = s / "dst";
    ASSERT_TRUE(writefile(dst, "old, and longer than the new data\n"));
    ASSERT_EQ(0, link(dst.c_str(), (s / "other name").c_str()));
    ASSERT_TRUE(CopyFileA(src.c_str(), dst.c_str(), FALSE));
    EXPECT_EQ("source data\n", readfile(dst));
    // A new file took the name; the old one is whole under its other name.
    EXPECT_EQ("old, and longer than the new data\n", readfile(s / "other name"));
    EXPECT_EQ((names{"dst", "other name", "src"}), entries(s.path));
}

TEST_F(PlatformTransfers, CopyOfAReadOnlySourceIsReadOnly)
{
    ASSERT_EQ(0, chmod(src.c_str(), 0444));
    std::string dst = s / "dst";
    ASSERT_TRUE(CopyFileA(src.c_str(), dst.c_str(), FALSE));
    EXPECT_EQ(0x21u, GetFileAttributesA(dst.c_str()));
}

TEST_F(PlatformTransfers, CopyRefusals)
{
    std::string ro = s / "ro", dir = s / "dir", fifo = s / "fifo", existing = s / "existing";
    ASSERT_TRUE(writefile(ro, "read-only\n", 0444));
    ASSERT_TRUE(writefile(existing, "existing\n"));
    ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    ASSERT_EQ(0, link(src.c_str(), (s / "hardlink").c_str()));
    ASSERT_EQ(0, symlink("src", (s / "tosrc").c_str()));
    ASSERT_EQ(0, symlink("sub/../src", (s / "tosrc2").c_str()));
    ASSERT_EQ(0, mkdir((s / "sub").c_str(), 0755));
    const struct {
        std::string from, to;
        BOOL failifexists;
        DWORD code;
    } cases[] = {
        {src, src, FALSE, ERROR_SHARING_VIOLATION},
        {src, s.path + "/./sub/../src", FALSE, ERROR_SHARING_VIOLATION},
        {src, s.path + "\\src", FALSE, ERROR_SHARING_VIOLATION},
        {src, s / "hardlink", FALSE, ERROR_SHARING_VIOLATION},
        {s / "tosrc", src, FALSE, ERROR_SHARING_VIOLATION},
        {src, s / "tosrc2", FALSE, ERROR_SHARING_VIOLATION},
        {src, ro, FALSE, ERROR_ACCESS_DENIED},
        {src, dir, FALSE, ERROR_ACCESS_DENIED},
        {dir, s / "new", FALSE, ERROR_ACCESS_DENIED},
        {fifo, s / "new", FALSE, ERROR_NOT_SUPPORTED},
        {src, existing, TRUE, ERROR_FILE_EXISTS},
        {s / "missing", s / "new", FALSE, ERROR_FILE_NOT_FOUND},
        {src, s / "nodir/new", FALSE, ERROR_PATH_NOT_FOUND},
    };
    for (const auto &k : cases) {
        std::vector<std::string> paths = {src, ro, existing, s / "hardlink", s / "tosrc"};
        std::vector<snapshot> before;
        for (const std::string &p : paths)
            before.push_back(take(p));
        names listing = entries(s.path);
        EXPECT_FALSE(CopyFileA(k.from.c_str(), k.to.c_str(), k.failifexists)) << k.from << " " << k.to;
        EXPECT_EQ(k.code, GetLastError()) << k.from << " -> " << k.to;
        for (size_t i = 0; i < paths.size(); i++)
            expectunchanged(before[i], paths[i], k.to);
        EXPECT_EQ(listing, entries(s.path)) << k.to;
        EXPECT_TRUE(entries(dir).empty());
    }
}

TEST_F(PlatformTransfers, CopyFailIfExistsOnANewName)
{
    ASSERT_TRUE(CopyFileA(src.c_str(), (s / "new").c_str(), TRUE));
    EXPECT_EQ("source data\n", readfile(s / "new"));
}

// A link is copied as a link, with the same target, dangling or not.
TEST_F(PlatformTransfers, CopyOfALinkIsALink)
{
    const struct {
        const char *name, *target;
    } cases[] = {{"rel", "src"}, {"abs", "/nowhere/at/all"}, {"up", "../x/y"}};
    for (const auto &k : cases) {
        std::string link = s / k.name, copy = s / (std::string(k.name) + ".copy");
        ASSERT_EQ(0, symlink(k.target, link.c_str()));
        ASSERT_TRUE(settimes(link, ts(900000000, 9), ts(900000001, 10)));
        ASSERT_TRUE(CopyFileA(link.c_str(), copy.c_str(), FALSE)) << k.name;
        EXPECT_TRUE(sametime(ts(900000001, 10), lstatof(copy).st_mtim)) << k.name;
        EXPECT_TRUE(sametime(ts(900000000, 9), lstatof(link).st_atim)) << k.name;
        EXPECT_EQ(k.target, linktarget(copy)) << k.name;
    }
    EXPECT_EQ("source data\n", readfile(src));
}

// Copying onto a link replaces the link and never writes through it.
TEST_F(PlatformTransfers, CopyOntoALinkReplacesTheLink)
{
    ASSERT_TRUE(writefile(s / "target", "target\n"));
    ASSERT_EQ(0, symlink("target", (s / "dst").c_str()));
    ASSERT_TRUE(CopyFileA(src.c_str(), (s / "dst").c_str(), FALSE));
    EXPECT_EQ("target\n", readfile(s / "target"));
    EXPECT_TRUE(S_ISREG(lstatof(s / "dst").st_mode));
}

// A full file system: the copy fails, an old destination stays whole and
// no temporary file is left.
TEST_F(PlatformTransfers, CopyOntoAFullFileSystem)
{
    mounted small(s / "small", "tmpfs", 0, "size=1m");
    if (!small.ok)
        GTEST_SKIP() << "needs root to mount a small file system";
    std::string big = s / "big";
    ASSERT_TRUE(writefile(big, std::string(3 << 20, 'b')));
    std::string old = s / "small/old";
    ASSERT_TRUE(writefile(old, "old contents\n"));
    snapshot before = take(old);

    EXPECT_FALSE(CopyFileA(big.c_str(), old.c_str(), FALSE));
    EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
    expectunchanged(before, old, "full file system");
    EXPECT_FALSE(CopyFileA(big.c_str(), (s / "small/new").c_str(), FALSE));
    EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
    EXPECT_EQ((names{"old"}), entries(s / "small"));
    EXPECT_EQ(lasterrortext(ERROR_DISK_FULL), std::string(strerror(ENOSPC)) + "\n");
}

// Where user attributes cannot be kept, the copy goes ahead without them.
TEST_F(PlatformTransfers, CopyToAFileSystemWithoutUserAttributes)
{
    mounted plain(s / "plain", "ramfs", 0, nullptr);
    if (!plain.ok)
        GTEST_SKIP() << "needs root to mount a file system without user attributes";
    ASSERT_TRUE(setraw(src, "user.note", "lost"));
    ASSERT_TRUE(CopyFileA(src.c_str(), (s / "plain/dst").c_str(), FALSE)) << GetLastError();
    EXPECT_EQ("source data\n", readfile(s / "plain/dst"));
    EXPECT_TRUE(sametime(ts(1100000000, 222222222), lstatof(s / "plain/dst").st_mtim));
}

TEST_F(PlatformTransfers, MoveRenames)
{
    ASSERT_TRUE(setcreation(src, 0x01D00000, 0x22222200));
    snapshot before = take(src);
    std::string dst = s / "dst";
    ASSERT_TRUE(MoveFileA(src.c_str(), dst.c_str()));
    EXPECT_FALSE(exists(src));
    snapshot after = take(dst);
    EXPECT_EQ(before.ino, after.ino);
    EXPECT_EQ(before.record, after.record);
}

TEST_F(PlatformTransfers, MoveNeverReplaces)
{
    std::string file = s / "file", dir = s / "dir";
    ASSERT_TRUE(writefile(file, "file\n"));
    ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
    ASSERT_EQ(0, mkdir((s / "dir2").c_str(), 0755));
    ASSERT_EQ(0, link(src.c_str(), (s / "hardlink").c_str()));
    const struct {
        std::string from, to;
    } cases[] = {
        {src, file}, {src, dir}, {s / "dir2", dir}, {src, s / "hardlink"}, {s / "dir2", file},
    };
    for (const auto &k : cases) {
        snapshot from = take(k.from), to = take(k.to);
        EXPECT_FALSE(MoveFileA(k.from.c_str(), k.to.c_str())) << k.from << " -> " << k.to;
        EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError()) << k.to;
        expectunchanged(from, k.from, "no replacing move");
        expectunchanged(to, k.to, "no replacing move");
        EXPECT_FALSE(MoveFileExA(k.from.c_str(), k.to.c_str(), 0));
        EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError()) << k.to;
    }
}

// An item moved onto its own path, however spelled, stays as it is.
TEST_F(PlatformTransfers, MoveOntoItsOwnPath)
{
    ASSERT_EQ(0, mkdir((s / "dir").c_str(), 0755));
    ASSERT_EQ(0, symlink("dir", (s / "link").c_str()));
    ASSERT_TRUE(writefile(s / "dir/f", "f\n"));
    const struct {
        std::string from, to;
    } cases[] = {
        {src, src},
        {src, s.path + "/./src"},
        {s / "dir/f", s.path + "\\link\\f"},
        {s / "dir", s.path + "/dir/../dir"},
        {s / "dir", s / "dir/"},
    };
    for (const auto &k : cases) {
        snapshot before = take(k.from);
        names listing = entries(s.path);
        EXPECT_TRUE(MoveFileA(k.from.c_str(), k.to.c_str())) << k.to << " " << GetLastError();
        EXPECT_TRUE(MoveFileExA(k.from.c_str(), k.to.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
            << k.to;
        expectunchanged(before, k.from, k.to);
        EXPECT_EQ(listing, entries(s.path));
    }
}

TEST_F(PlatformTransfers, MoveFailures)
{
    const struct {
        std::string from, to;
        DWORD code;
    } cases[] = {
        {s / "missing", s / "new", ERROR_FILE_NOT_FOUND},
        {s / "nodir/missing", s / "new", ERROR_PATH_NOT_FOUND},
        {src, s / "nodir/new", ERROR_PATH_NOT_FOUND},
        {s.path, s / "inside", ERROR_INVALID_PARAMETER},
    };
    for (const auto &k : cases) {
        EXPECT_FALSE(MoveFileA(k.from.c_str(), k.to.c_str())) << k.from << " -> " << k.to;
        EXPECT_EQ(k.code, GetLastError()) << k.from << " -> " << k.to;
    }
    EXPECT_EQ((names{"src"}), entries(s.path));
}

// The replacing move puts the source in the destination's place in one
// step: the destination is the source's own inode afterwards.
TEST_F(PlatformTransfers, ReplacingMove)
{
    const DWORD both = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
    std::string dst = s / "dst";
    ASSERT_TRUE(writefile(dst, "old\n"));
    ino_t ino = lstatof(src).st_ino;
    ASSERT_TRUE(MoveFileExA(src.c_str(), dst.c_str(), both));
    EXPECT_EQ(ino, lstatof(dst).st_ino);
    EXPECT_EQ("source data\n", readfile(dst));
    EXPECT_FALSE(exists(src));

    // Two names of one file: the source name goes, the file stays.
    ASSERT_EQ(0, link(dst.c_str(), src.c_str()));
    ASSERT_TRUE(MoveFileExA(src.c_str(), dst.c_str(), both));
    EXPECT_FALSE(exists(src));
    EXPECT_EQ("source data\n", readfile(dst));
}

TEST_F(PlatformTransfers, ReplacingMoveRefusals)
{
    const DWORD both = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
    std::string ro = s / "ro", dir = s / "dir";
    ASSERT_TRUE(writefile(ro, "ro\n", 0444));
    ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
    ASSERT_EQ(0, mkdir((s / "dir2").c_str(), 0755));
    for (const std::string &to : {ro, dir}) {
        for (const std::string &from : {src, s / "dir2"}) {
            snapshot a = take(from), b = take(to);
            EXPECT_FALSE(MoveFileExA(from.c_str(), to.c_str(), both)) << from << " -> " << to;
            EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError()) << to;
            expectunchanged(a, from, "refused");
            expectunchanged(b, to, "refused");
        }
    }
}

class PlatformCrossDevice : public PlatformTransfers {
protected:
    scratch far{"/dev/shm"};
    void SetUp() override
    {
        if (!otherdevice("/tmp", "/dev/shm"))
            GTEST_SKIP() << "/tmp and /dev/shm are one file system";
        ASSERT_FALSE(far.path.empty());
        PlatformTransfers::SetUp();
    }
};

// Across file systems a file arrives with its three times, its mode, its
// user attributes, and the source goes only then.
TEST_F(PlatformCrossDevice, FileMovesWithItsThreeTimes)
{
    ASSERT_TRUE(setraw(src, "user.note", "kept"));
    ASSERT_TRUE(setcreation(src, 0x01C00000, 0x33333300));
    ASSERT_EQ(0, chmod(src.c_str(), 0444));
    ASSERT_TRUE(settimes(src, ts(1000000000, 111111111), ts(1100000000, 222222222)));
    std::string dst = far / "dst";
    ASSERT_TRUE(MoveFileA(src.c_str(), dst.c_str())) << GetLastError();
    EXPECT_FALSE(exists(src));
    EXPECT_EQ("source data\n", readfile(dst));
    EXPECT_EQ(0444, permof(dst));
    EXPECT_TRUE(sametime(ts(1000000000, 111111111), lstatof(dst).st_atim));
    EXPECT_TRUE(sametime(ts(1100000000, 222222222), lstatof(dst).st_mtim));
    FILETIME c = creationof(dst);
    EXPECT_EQ(0x01C00000u, c.dwHighDateTime);
    EXPECT_EQ(0x33333300u, c.dwLowDateTime);
    EXPECT_EQ("kept", rawxattr(dst, "user.note"));
    EXPECT_EQ(0x21, rawxattr(dst, "user.DOSATTRIB")[12]);
    EXPECT_EQ((names{"dst"}), entries(far.path));
}

// Without a record the creation time the system gave the source still
// arrives.
TEST_F(PlatformCrossDevice, CreationTimeWithoutARecordArrives)
{
    FILETIME before = creationof(src);
    std::string dst = far / "dst";
    ASSERT_TRUE(MoveFileA(src.c_str(), dst.c_str()));
    FILETIME after = creationof(dst);
    EXPECT_EQ(before.dwHighDateTime, after.dwHighDateTime);
    EXPECT_EQ(before.dwLowDateTime, after.dwLowDateTime);
}

TEST_F(PlatformCrossDevice, LinkMovesAsALink)
{
    std::string link = s / "link", dst = far / "link";
    ASSERT_EQ(0, symlink("../somewhere", link.c_str()));
    ASSERT_TRUE(settimes(link, ts(800000000, 8), ts(800000001, 9)));
    ASSERT_TRUE(MoveFileA(link.c_str(), dst.c_str())) << GetLastError();
    EXPECT_FALSE(exists(link));
    EXPECT_TRUE(sametime(ts(800000000, 8), lstatof(dst).st_atim));
    EXPECT_TRUE(sametime(ts(800000001, 9), lstatof(dst).st_mtim));
    EXPECT_EQ("../somewhere", linktarget(dst));
}

TEST_F(PlatformCrossDevice, Refusals)
{
    std::string dir = s / "dir", fifo = s / "fifo", taken = far / "taken";
    ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
    ASSERT_TRUE(writefile(dir + "/inner", ""));
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    ASSERT_TRUE(writefile(taken, "taken\n"));
    const struct {
        std::string from, to;
        DWORD flags, code;
    } cases[] = {
        {dir, far / "dir", MOVEFILE_COPY_ALLOWED, ERROR_ACCESS_DENIED},
        {dir, far / "dir", MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED},
        {fifo, far / "fifo", MOVEFILE_COPY_ALLOWED, ERROR_NOT_SUPPORTED},
        {src, taken, MOVEFILE_COPY_ALLOWED, ERROR_ALREADY_EXISTS},
        {src, far / "new", 0, ERROR_NOT_SAME_DEVICE},
        {src, far / "new", MOVEFILE_REPLACE_EXISTING, ERROR_NOT_SAME_DEVICE},
    };
    for (const auto &k : cases) {
        snapshot a = take(k.from), b = take(taken);
        EXPECT_FALSE(MoveFileExA(k.from.c_str(), k.to.c_str(), k.flags)) << k.from << " -> " << k.to;
        EXPECT_EQ(k.code, GetLastError()) << k.from << " -> " << k.to;
        expectunchanged(a, k.from, "refused");
        expectunchanged(b, taken, "refused");
        EXPECT_EQ((names{"taken"}), entries(far.path));
    }
    EXPECT_EQ((names{"inner"}), entries(dir));
}

TEST_F(PlatformCrossDevice, ReplacingMoveAcross)
{
    std::string dst = far / "dst";
    ASSERT_TRUE(writefile(dst, "old\n"));
    ASSERT_TRUE(MoveFileExA(src.c_str(), dst.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        << GetLastError();
    EXPECT_FALSE(exists(src));
    EXPECT_EQ("source data\n", readfile(dst));
    EXPECT_TRUE(sametime(ts(1100000000, 222222222), lstatof(dst).st_mtim));
    EXPECT_EQ((names{"dst"}), entries(far.path));
}

// A copy that cannot be completed leaves the source where it is and
// nothing at the destination.
TEST_F(PlatformCrossDevice, FailedCopyKeepsTheSource)
{
    mounted small(far / "small", "tmpfs", 0, "size=1m");
    if (!small.ok)
        GTEST_SKIP() << "needs root to mount a small file system";
    ASSERT_TRUE(writefile(src, std::string(3 << 20, 's')));
    snapshot before = take(src);
    EXPECT_FALSE(MoveFileA(src.c_str(), (far / "small/dst").c_str()));
    EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
    expectunchanged(before, src, "full");
    EXPECT_TRUE(entries(far / "small").empty());
    ASSERT_TRUE(writefile(far / "small/dst", "old\n"));
    EXPECT_FALSE(MoveFileExA(src.c_str(), (far / "small/dst").c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
    EXPECT_EQ("old\n", readfile(far / "small/dst"));
    EXPECT_EQ((names{"dst"}), entries(far / "small"));
    expectunchanged(before, src, "full");
}

// A source that could not be removed is not copied at all.
TEST_F(PlatformCrossDevice, SourceThatCannotGoIsNotCopied)
{
    mounted ro(s / "ro", "tmpfs", 0, "size=64k");
    if (!ro.ok)
        GTEST_SKIP() << "needs root to mount a read-only file system";
    ASSERT_TRUE(writefile(s / "ro/file", "stays\n"));
    ASSERT_EQ(0, mount(nullptr, ro.path.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr));
    EXPECT_FALSE(MoveFileA((s / "ro/file").c_str(), (far / "file").c_str()));
    EXPECT_EQ(ERROR_WRITE_PROTECT, GetLastError());
    EXPECT_TRUE(entries(far.path).empty());
    EXPECT_EQ("stays\n", readfile(s / "ro/file"));
}

// A new directory takes its template's permission bits, and nothing else.
TEST_F(PlatformTransfers, CreateDirectoryFromATemplate)
{
    const mode_t modes[] = {0555, 0750, 0700, 0777, 0500};
    for (mode_t mode : modes) {
        std::string tmpl = s / "tmpl", made = s / "made";
        removeat(AT_FDCWD, tmpl.c_str());
        removeat(AT_FDCWD, made.c_str());
        ASSERT_EQ(0, mkdir(tmpl.c_str(), 0700));
        ASSERT_EQ(0, chmod(tmpl.c_str(), mode));
        ASSERT_TRUE(settimes(tmpl, ts(1000, 0), ts(2000, 0)));
        ASSERT_TRUE(CreateDirectoryExA(tmpl.c_str(), made.c_str(), nullptr)) << std::oct << mode;
        EXPECT_EQ(mode, permof(made)) << std::oct << mode;
        EXPECT_NE(2000, lstatof(made).st_mtim.tv_sec);
        EXPECT_EQ(mode & 0222 ? 0x10u : 0x11u, GetFileAttributesA(made.c_str()));
    }
}

TEST_F(PlatformTransfers, CreateDirectoryFailures)
{
    ASSERT_EQ(0, mkdir((s / "dir").c_str(), 0755));
    const struct {
        std::string tmpl, made;
        DWORD code;
    } cases[] = {
        {s.path, s / "dir", ERROR_ALREADY_EXISTS},
        {s.path, src, ERROR_ALREADY_EXISTS},
        {s.path, s / "nodir/new", ERROR_PATH_NOT_FOUND},
        {s / "missing", s / "new", ERROR_FILE_NOT_FOUND},
        {s / "nodir/missing", s / "new", ERROR_PATH_NOT_FOUND},
        {src, s / "new", ERROR_DIRECTORY},
    };
    for (const auto &k : cases) {
        EXPECT_FALSE(CreateDirectoryExA(k.tmpl.c_str(), k.made.c_str(), nullptr)) << k.made;
        EXPECT_EQ(k.code, GetLastError()) << k.tmpl << " " << k.made;
    }
    EXPECT_EQ((names{"dir", "src"}), entries(s.path));
}

TEST_F(PlatformTransfers, RemoveDirectory)
{
    ASSERT_EQ(0, mkdir((s / "full").c_str(), 0755));
    ASSERT_TRUE(writefile(s / "full/f", ""));
    ASSERT_EQ(0, mkdir((s / "locked").c_str(), 0555));
    ASSERT_EQ(0, mkdir((s / "empty").c_str(), 0755));
    const struct {
        const char *name;
        DWORD code;
    } cases[] = {
        {"full", ERROR_DIR_NOT_EMPTY},
        {"locked", ERROR_ACCESS_DENIED}, // read-only until its bit is cleared
        {"missing", ERROR_FILE_NOT_FOUND},
        {"src", ERROR_DIRECTORY},
    };
    for (const auto &k : cases) {
        EXPECT_FALSE(RemoveDirectoryA((s / k.name).c_str())) << k.name;
        EXPECT_EQ(k.code, GetLastError()) << k.name;
    }
    EXPECT_TRUE(RemoveDirectoryA((s / "empty").c_str()));
    ASSERT_TRUE(SetFileAttributesA((s / "locked").c_str(), FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_TRUE(RemoveDirectoryA((s / "locked").c_str()));
    EXPECT_EQ((names{"full", "src"}), entries(s.path));
}

TEST_F(PlatformTransfers, DeleteFile)
{
    ASSERT_EQ(0, mkdir((s / "dir").c_str(), 0755));
    ASSERT_TRUE(writefile(s / "ro", "", 0444));
    ASSERT_EQ(0, symlink("src", (s / "link").c_str()));
    const struct {
        const char *name;
        DWORD code;
    } cases[] = {
        {"dir", ERROR_ACCESS_DENIED},
        {"ro", ERROR_ACCESS_DENIED}, // read-only until its bit is cleared
        {"missing", ERROR_FILE_NOT_FOUND},
        {"nodir/missing", ERROR_PATH_NOT_FOUND},
    };
    for (const auto &k : cases) {
        EXPECT_FALSE(DeleteFileA((s / k.name).c_str())) << k.name;
        EXPECT_EQ(k.code, GetLastError()) << k.name;
    }
    EXPECT_TRUE(DeleteFileA((s / "link").c_str()));
    EXPECT_EQ("source data\n", readfile(src));
    EXPECT_TRUE(DeleteFileA(src.c_str()));
    EXPECT_EQ((names{"dir", "ro"}), entries(s.path));
}

} // namespace
