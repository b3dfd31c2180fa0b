// The options that change what happens to times and what is created: -t
// (a file's older creation time is kept), -o (directory times merged), -d
// (directories only) and -s (nothing created, only times carried).
#include "dupra_support.h"

namespace {

const timespec early = at(1999, 1, 1, 1, 1, 1, 100);
const timespec middle = at(2005, 5, 5, 5, 5, 5, 555555555);
const timespec late = at(2015, 1, 1, 1, 1, 1, 900);
const timespec srca = at(2010, 1, 2, 3, 4, 5, 123456789);

class DupraTimes : public dupratest {};

// --- -t ---------------------------------------------------------------------

struct creationcase {
    const char *what;
    bool tflag;
    timespec destcreated;
    timespec expectedcreated;
};

TEST_F(DupraTimes, OlderCreationTimeOfAFileKeptUnderT)
{
    const creationcase cases[] = {
        {"-t, destination older", true, early, early},
        {"-t, destination newer", true, late, middle},
        {"-t, the same", true, middle, middle},
        {"no -t, destination older", false, early, middle},
    };
    for (const creationcase &k : cases) {
        maketree(s.path, {
            file("src.txt", "new").times(srca, middle).ctime(middle),
            file("dst.txt", "old").times(late, late).ctime(k.destcreated),
        });
        result r = dupra({k.tflag ? "-ty" : "-y", "src.txt", "dst.txt"});
        EXPECT_EQ(0, r.status) << k.what;
        EXPECT_EQ(overwiteline("dst.txt"), r.out) << k.what;
        item copy = readitem(s / "dst.txt");
        EXPECT_EQ("new", copy.data) << k.what;
        EXPECT_EQ(nanoseconds(srca), copy.atime) << k.what;
        EXPECT_EQ(nanoseconds(middle), copy.mtime) << k.what;
        EXPECT_EQ(createdas(increation(k.expectedcreated), copy.mtime), copy.created) << k.what;
    }
}

// With nothing at the destination, -t has nothing to merge and says nothing.
TEST_F(DupraTimes, TWithoutDestination)
{
    maketree(s.path, {file("src.txt", "new").mode(0444).times(srca, middle).ctime(middle)});
    result r = dupra({"-t", "src.txt", "dst.txt"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ("", diffitems(s / "src.txt", s / "dst.txt"));
}

// --- -o ---------------------------------------------------------------------

struct mergecase {
    const char *what;
    bool oflag;
    timespec destcreated, destwritten;
    timespec expectcreated, expectwritten;
};

// An existing destination directory takes the source's times, keeping its
// own where they are older under -o; its access time is always the
// source's, and it keeps its own permission bits.
TEST_F(DupraTimes, ExistingDirectoryTimesMergedUnderO)
{
    const mergecase cases[] = {
        {"-o, destination older", true, early, early, early, early},
        {"-o, destination newer", true, late, late, middle, middle},
        {"-o, older creation, newer write", true, early, late, early, middle},
        {"-o, newer creation, older write", true, late, early, middle, early},
        {"no -o, destination older", false, early, early, middle, middle},
    };
    for (const mergecase &k : cases) {
        maketree(s.path, {
            file("src/f", "data"),
            dir("src/inner").times(srca, middle).ctime(middle),
            dir("src").mode(0755).times(srca, middle).ctime(middle),
            dir("dst/src/inner").mode(0700).times(late, k.destwritten).ctime(k.destcreated),
            dir("dst/src").mode(0700).times(late, k.destwritten).ctime(k.destcreated),
        });
        result r = dupra({k.oflag ? "-o" : "-c", "src", "dst"});
        EXPECT_EQ(0, r.status) << k.what;
        EXPECT_EQ("", r.out + r.err) << k.what;
        EXPECT_EQ("data", readfile(s / "dst/src/f")) << k.what;
        for (const char *d : {"dst/src", "dst/src/inner"}) {
            item it = readitem(s / d);
            EXPECT_EQ(0700u, it.perm) << k.what << ", " << d;
            EXPECT_EQ(nanoseconds(srca), it.atime) << k.what << ", " << d;
            EXPECT_EQ(nanoseconds(k.expectwritten), it.mtime) << k.what << ", " << d;
            EXPECT_EQ(createdas(increation(k.expectcreated), it.mtime), it.created)
                << k.what << ", " << d;
        }
        removetree(s / "dst");
        removetree(s / "src");
    }
}

// A new directory has nothing to merge with: -o gives it the source's times.
TEST_F(DupraTimes, OWithNewDirectory)
{
    maketree(s.path, {file("src/f", "data").times(srca, early),
                      dir("src").times(srca, middle).ctime(middle)});
    tree source = snapshot(s / "src");
    result r = dupra({"-o", "src", "copy"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ("", comparetrees(source, snapshot(s / "copy")));
}

// An existing read-only directory is filled and timed, and stays read-only.
TEST_F(DupraTimes, ExistingReadOnlyDirectoryKeepsItsBit)
{
    maketree(s.path, {
        file("src/f", "data"),
        dir("src").times(srca, middle).ctime(middle),
        dir("dst/src").mode(0555).times(late, late).ctime(late),
    });
    result r = dupra({"src", "dst"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ("data", readfile(s / "dst/src/f"));
    item it = readitem(s / "dst/src");
    EXPECT_EQ(dirmodeafter(0555), it.perm);
    EXPECT_EQ(nanoseconds(srca), it.atime);
    EXPECT_EQ(nanoseconds(middle), it.mtime);
    EXPECT_EQ(increation(middle), it.created);
}

// --- -d and -s --------------------------------------------------------------

class DupraNoFiles : public dupratest {
protected:
    void SetUp() override
    {
        maketree(s.path, {
            file("src/a.txt", "alpha").times(srca, early),
            file("src/sub/b.txt", "bravo").times(srca, early),
            softlink("src/link", "a.txt"),
            dir("src/sub/deep").mode(0555).times(srca, early).ctime(early),
            dir("src/sub").mode(0750).times(srca, middle).ctime(middle),
            dir("src/other").times(srca, late).ctime(early),
            dir("src").times(srca, middle).ctime(early),
        });
    }
};

// Only the directories are traced: a file passed over leaves no trace.
TEST_F(DupraNoFiles, DMakesAndTimesDirectoriesOnly)
{
    tree source = snapshot(s / "src");
    result r = dupra({"-dv", "src", "copy"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(traceline("src", "copy") + traceline("src\\sub", "copy\\sub") +
                  traceline("src\\sub\\deep", "copy\\sub\\deep") +
                  traceline("src\\other", "copy\\other"),
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("", comparetrees(dirsonly(source), snapshot(s / "copy")));
}

TEST_F(DupraNoFiles, DCopiesNoSingleFile)
{
    result r = dupra({"-dv", "src/a.txt", "copy.txt"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_FALSE(exists(s / "copy.txt"));
}

TEST_F(DupraNoFiles, SCreatesNothing)
{
    tree before = snapshot(s.path);
    result r = dupra({"-s", "src", "copy"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_FALSE(exists(s / "copy"));
    EXPECT_EQ("", comparetrees(before, snapshot(s.path)));
}

// The directory passed over is still traced.
TEST_F(DupraNoFiles, STracesTheDirectoryPassedOver)
{
    result r = dupra({"-sv", "src", "copy"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(traceline("src", "copy"), r.out);
    EXPECT_EQ("", r.err);
    EXPECT_FALSE(exists(s / "copy"));
}

// Only directories that exist receive times; nothing is created, and the
// files already there are left alone.
TEST_F(DupraNoFiles, SCarriesTimesToExistingDirectories)
{
    maketree(s.path, {
        file("dst/src/a.txt", "old").times(late, late),
        dir("dst/src/sub").mode(0700).times(late, late).ctime(late),
        dir("dst/src").times(late, late).ctime(late),
    });
    tree source = snapshot(s / "src");
    item oldfile = readitem(s / "dst/src/a.txt");
    result r = dupra({"-sv", "src", "dst"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(traceline("src\\sub\\deep", "dst\\src\\sub\\deep") +
                  traceline("src\\other", "dst\\src\\other"),
              r.out);
    EXPECT_EQ("", r.err);
    tree copy = snapshot(s / "dst/src");
    EXPECT_EQ(3u, copy.size());
    EXPECT_EQ("", comparetrees(tree{{"a.txt", oldfile}}, tree{{"a.txt", copy["a.txt"]}}));
    for (const char *d : {".", "sub"}) {
        EXPECT_EQ(source[d].atime, copy[d].atime) << d;
        EXPECT_EQ(source[d].mtime, copy[d].mtime) << d;
        EXPECT_EQ(source[d].created, copy[d].created) << d;
    }
    EXPECT_EQ(0700u, copy["sub"].perm);
}

TEST_F(DupraNoFiles, SWithOMergesTimes)
{
    maketree(s.path, {
        dir("dst/src/sub").times(late, early).ctime(late),
        dir("dst/src").times(late, late).ctime(early),
    });
    result r = dupra({"-so", "src", "dst"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    item top = readitem(s / "dst/src"), sub = readitem(s / "dst/src/sub");
    EXPECT_EQ(nanoseconds(srca), top.atime);
    EXPECT_EQ(nanoseconds(middle), top.mtime);
    EXPECT_EQ(createdas(increation(early), top.mtime), top.created);
    EXPECT_EQ(nanoseconds(srca), sub.atime);
    EXPECT_EQ(nanoseconds(early), sub.mtime);
    EXPECT_EQ(createdas(increation(middle), sub.mtime), sub.created);
}

} // namespace
