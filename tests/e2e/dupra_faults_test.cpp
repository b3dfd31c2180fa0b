// What goes wrong on the way: items the user may not read, a destination
// file system that is full or read-only, names the system cannot name.
// Whatever fails is reported, the rest goes on, the run ends with status 1,
// and nothing that existed before is lost or half written.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "dupra_support.h"

namespace {

const timespec t1 = at(2001, 1, 1, 1, 1, 1, 111);
const timespec t2 = at(2002, 2, 2, 2, 2, 2, 222222);
const timespec c1 = at(1998, 3, 3, 3, 3, 3, 300);

std::string bulk(size_t size)
{
    return std::string(size, 'b');
}

// A small tmpfs mounted for one test and unmounted when the test ends,
// whatever its outcome.
class tmpfsmount {
public:
    tmpfsmount(const std::string &where, const std::string &options) : path(where)
    {
        if (mkdir(where.c_str(), 0755) != 0 && errno != EEXIST)
            ADD_FAILURE() << "mkdir " << where << ": " << strerror(errno);
        mounted = mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
        if (!mounted)
            ADD_FAILURE() << "mount tmpfs on " << where << ": " << strerror(errno);
    }
    ~tmpfsmount()
    {
        if (mounted && umount2(path.c_str(), 0) != 0)
            umount2(path.c_str(), MNT_DETACH);
    }
    tmpfsmount(const tmpfsmount &) = delete;
    tmpfsmount &operator=(const tmpfsmount &) = delete;

    void makereadonly()
    {
        if (mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            ADD_FAILURE() << "remount " << path << " read-only: " << strerror(errno);
    }

    bool mounted;

private:
    std::string path;
};

// --- a full destination -----------------------------------------------------

// A destination of 1 MiB, and a source that does not fit in it.
class DupraFull : public dupratest {
protected:
    std::optional<tmpfsmount> full;

    void SetUp() override
    {
        SKIP_UNLESS_ROOT();
        SKIP_WINE_DIFFERS(winediskfull, "a copy that runs out of space leaves its part behind");
        full.emplace(s / "full", "size=1m,mode=0755");
        ASSERT_TRUE(full->mounted);
        maketree(s.path, {
            file("big.bin", bulk(2 * 1024 * 1024)).times(t1, t2),
            file("small.txt", "fits").times(t1, t2).ctime(c1),
        });
    }
};

TEST_F(DupraFull, NewFileLeavesNothingBehind)
{
    result r = dupra({"big.bin", "full/big.bin"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(copyfailed(112, ENOSPC, "big.bin", "full/big.bin"), r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(1u, snapshot(s / "full").size()) << "a partial or temporary file is left";
}

TEST_F(DupraFull, ExistingFileStaysWhole)
{
    maketree(s.path, {file("full/old.txt", "old content").mode(0640).times(t2, t1).ctime(c1)});
    tree before = snapshot(s / "full");
    result r = dupra({"-y", "big.bin", "full/old.txt"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(overwiteline("full/old.txt") +
                  copyfailed(112, ENOSPC, "big.bin", "full/old.txt"),
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("", comparetrees(before, snapshot(s / "full"), noroottimes));
}

// A read-only file made writable to be replaced is read-only again when
// the replacement fails.
TEST_F(DupraFull, ReadOnlyFileGetsItsBitBack)
{
    maketree(s.path, {file("full/ro.txt", "old content").mode(0444).times(t2, t1).ctime(c1)});
    tree before = snapshot(s / "full");
    result r = dupra({"big.bin", "full/ro.txt"}, "y\n");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(readonlyprompt("full/ro.txt") +
                  copyfailed(112, ENOSPC, "big.bin", "full/ro.txt"),
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("", comparetrees(before, snapshot(s / "full"), noroottimes));
    EXPECT_EQ(0x21, dosattributes(s / "full/ro.txt"));
}

// Each failure is reported where it happens; every other item, inside a
// tree too, is copied with its times.
TEST_F(DupraFull, TheRestGoesOn)
{
    maketree(s.path, {
        file("tree/a", "a").times(t1, t2),
        file("tree/big.bin", bulk(2 * 1024 * 1024)),
        file("tree/z", "z").times(t1, t2).ctime(c1),
        dir("tree").times(t2, t1).ctime(c1),
    });
    tree source = snapshot(s / "tree");
    result r = dupra({"big.bin", "small.txt", "tree", "full"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(copyfailed(112, ENOSPC, "big.bin", "full\\big.bin") +
                  copyfailed(112, ENOSPC, "tree\\big.bin", "full\\tree\\big.bin"),
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_FALSE(exists(s / "full/big.bin"));
    EXPECT_EQ("", diffitems(s / "small.txt", s / "full/small.txt"));
    source.erase("big.bin");
    EXPECT_EQ("", comparetrees(source, snapshot(s / "full/tree")));
}

// --- a read-only destination ------------------------------------------------

struct rocase {
    const char *what;
    std::vector<std::string> args;
    std::string out;
};

TEST(DupraReadOnlyFs, NothingIsWrittenAndEachFailureReported)
{
    SKIP_UNLESS_ROOT();
    scratch s;
    maketree(s.path, {file("a.txt", "a").times(t1, t2), file("src/f", "f")});
    tmpfsmount ro(s / "ro", "size=1m,mode=0755");
    ASSERT_TRUE(ro.mounted);
    maketree(s / "ro", {file("old.txt", "old").times(t2, t1).ctime(c1), dir("src")});
    ro.makereadonly();

    // Windows refuses writes to a write-protected volume with error 19.
    const bool wine = winediffers(winereadonlyfs);
    const unsigned ro19 = wine ? 5 : 19;
    const int erofs = wine ? EACCES : EROFS;
    const rocase cases[] = {
        {"a new file", {"a.txt", "ro/new.txt"}, copyfailed(ro19, erofs, "a.txt", "ro/new.txt")},
        {"onto an existing file", {"-y", "a.txt", "ro/old.txt"},
         overwiteline("ro/old.txt") + copyfailed(ro19, erofs, "a.txt", "ro/old.txt")},
        {"a new directory", {"src", "ro/new"},
         callfailed(ro19, erofs, "ro/new", "CreateDirectoryEx(src,ro/new)")},
        {"into an existing directory", {"src/f", "ro/src"},
         copyfailed(ro19, erofs, "src/f", "ro/src\\f")},
    };
    for (const rocase &k : cases) {
        tree before = snapshot(s / "ro");
        result r = run(DUPRA_PATH, k.args, "", s.path);
        EXPECT_EQ(1, r.status) << k.what;
        EXPECT_EQ(k.out, r.out) << k.what;
        EXPECT_EQ("", r.err) << k.what;
        EXPECT_EQ("", comparetrees(before, snapshot(s / "ro"))) << k.what;
    }
}

// --- what an unprivileged user may not read ---------------------------------

// The source belongs to root; the user may read all of it but one file and
// one directory, and may write where the copy goes.
class DupraUnprivileged : public dupratest {
protected:
    void SetUp() override
    {
        SKIP_UNLESS_ROOT();
        SKIP_POSIX_ONLY("the program runs as another POSIX user, which Wine's server refuses");
        maketree(s.path, {
            file("src/ok.txt", "readable").times(t1, t2),
            file("src/secret", "not for you").mode(0600),
            file("src/closed/inside", "not for you either"),
            dir("src/closed").mode(0700).times(t1, t2),
            file("src/z.txt", "readable too").times(t1, t2),
            dir("src").times(t1, t2),
        });
        ASSERT_EQ(0, chown(s.path.c_str(), nobody().uid, nobody().gid));
    }

    void givetonobody(const std::string &root)
    {
        for (const auto &named : snapshot(root)) {
            std::string path = named.first == "." ? root : root + "/" + named.first;
            if (lchown(path.c_str(), nobody().uid, nobody().gid) != 0)
                ADD_FAILURE() << "lchown " << path << ": " << strerror(errno);
        }
    }

    result dupraas(const std::vector<std::string> &args)
    {
        command c;
        c.program = DUPRA_PATH;
        c.args = args;
        c.cwd = s.path;
        c.runas = nobody();
        return run(c);
    }
};

TEST_F(DupraUnprivileged, UnreadableFile)
{
    result r = dupraas({"src/secret", "copy"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(callfailed(5, EACCES, "src/secret", "CreateFile(src/secret)=INVALID_HANDLE_VALUE") +
                  copyfailed(5, EACCES, "src/secret", "copy"),
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_FALSE(exists(s / "copy"));
}

// The unreadable file and directory are reported and count as failures;
// everything the user may read is copied.  The directory's times can be
// read without reading its listing, so it is made and timed, and stays
// empty.
TEST_F(DupraUnprivileged, UnreadableItemsInATree)
{
    tree source = snapshot(s / "src");
    result r = dupraas({"src", "copy"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(callfailed(5, EACCES, "src\\secret",
                         "CreateFile(src\\secret)=INVALID_HANDLE_VALUE") +
                  copyfailed(5, EACCES, "src\\secret", "copy\\secret") +
                  "src\\closed: " + strerror(EACCES) + "\n",
              r.out);
    EXPECT_EQ("", r.err);
    tree copy = snapshot(s / "copy");
    EXPECT_EQ(4u, copy.size());
    for (const char *name : {"ok.txt", "z.txt"})
        EXPECT_EQ("", comparetrees(tree{{name, source[name]}}, tree{{name, copy[name]}}));
    for (const char *name : {".", "closed"}) {
        EXPECT_EQ(source[name].mtime, copy[name].mtime) << name;
        EXPECT_EQ(source[name].perm, copy[name].perm) << name;
    }
}

// An ordinary user must make a read-only directory writable to fill it,
// and a read-only file writable to give it its creation time; both end
// read-only again.  Existing read-only destinations are replaced and
// filled alike.
TEST_F(DupraUnprivileged, ReadOnlyItemsAsAnOrdinaryUser)
{
    maketree(s.path, {
        file("pub/rodir/ro.txt", "read only").mode(0444).times(t1, t2).ctime(c1),
        file("pub/rodir/rw.txt", "writable").times(t2, t1).ctime(c1),
        dir("pub/rodir/inner").mode(0555).times(t1, t2).ctime(c1),
        dir("pub/rodir").mode(0555).times(t2, t1).ctime(c1),
        file("pub/old/ro.txt", "read only").mode(0444).times(t1, t2).ctime(c1),
        dir("pub/old").times(t1, t2).ctime(c1),
        dir("pub").times(t1, t2).ctime(c1),
    });
    maketree(s.path, {
        file("copy/pub/old/ro.txt", "to be replaced").mode(0444),
        dir("copy/pub/old").mode(0555),
    });
    givetonobody(s / "copy");
    tree source = snapshot(s / "pub");
    result r = dupraas({"-f", "pub", "copy"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    // The existing directory keeps its own bits, and takes the source's times.
    source["old"].perm = 0555;
    EXPECT_EQ("", comparetrees(source, snapshot(s / "copy/pub")));
    EXPECT_EQ(0x11, dosattributes(s / "copy/pub/rodir"));
    EXPECT_EQ(0x21, dosattributes(s / "copy/pub/rodir/ro.txt"));
}

// --- names the system cannot name -------------------------------------------

// A name holding a backslash cannot be named here: its copy fails and is
// reported, and no other item is taken in its place.
// A name holding '\' cannot be joined to its directory without naming
// another item: here src/a/b, which must not be copied in its place.
TEST(DupraNames, BackslashInANameIsReported)
{
    scratch s;
    maketree(s.path, {file("src/a\\b", "backslash"), file("src/a/b", "other"), file("src/c", "c")});
    result r = run(DUPRA_PATH, {"src", "copy"}, "", s.path);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("dupra: src: cannot copy 'a\\b': the name holds a separator.\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("c", readfile(s / "copy/c"));
    EXPECT_EQ("other", readfile(s / "copy/a/b"));
    EXPECT_FALSE(exists(s / "copy/a\\b"));
}

} // namespace
