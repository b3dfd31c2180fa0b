// Copying directory trees as users of a copy tool expect: the copy equals
// what `cp -a` makes of the same tree, links stay links, and a tree is
// never copied into itself.
#include <cerrno>

#include "dupra_support.h"

namespace {

const timespec t1 = at(2001, 1, 1, 1, 1, 1, 1);
const timespec t2 = at(2002, 2, 2, 2, 2, 2, 22);
const timespec t3 = at(2003, 3, 3, 3, 3, 3, 333);
const timespec t4 = at(2004, 4, 4, 4, 4, 4, 4444);
const timespec t5 = at(2005, 5, 5, 5, 5, 5, 55555);
const timespec t6 = at(2006, 6, 6, 6, 6, 6, 666666);
const timespec c1 = at(1995, 1, 1, 1, 1, 1, 100);
const timespec c2 = at(1996, 2, 2, 2, 2, 2, 200);

// Bytes of every value, long enough that the copy takes more than one pass.
std::string bulk(size_t size)
{
    std::string data(size, '\0');
    uint32_t x = 12345;
    for (char &c : data) {
        x = x * 1103515245 + 12345;
        c = char(x >> 16);
    }
    return data;
}

class DupraTree : public dupratest {
protected:
    // A tree with something of every kind a copy must carry: permission
    // bits, read-only files and directories, hidden names, empty items,
    // names with blanks and non-ASCII bytes, links of every sort, and
    // distinct times to the nanosecond on every item.
    void makerichtree(const std::string &root, const std::string &outside)
    {
        maketree(root, {
            file("plain.txt", "plain\n").times(t1, t2),
            file("exec.sh", "#!/bin/sh\n").mode(0755).times(t2, t3),
            file("private", "secret").mode(0600).times(t3, t4),
            file("ro.txt", "read only").mode(0444).times(t4, t5),
            file("empty").times(t5, t6),
            file(".hidden", "hidden").times(t6, t1),
            file(".hiddendir/inside", "in a hidden directory").times(t1, t3),
            dir(".hiddendir").times(t2, t4),
            file("big.bin", bulk(3 * 1024 * 1024 + 17)).times(t3, t5),
            file("with blank and na\xc3\xafve.txt", "name").times(t4, t6),
            file("star*and?query", "wildcards in a name").times(t5, t2),
            file("what?dir/[x]", "brackets").times(t6, t5),
            dir("what?dir").times(t2, t6),
            file("sub/deep/deeper/leaf.txt", "leaf").times(t5, t1),
            dir("sub/deep/deeper").mode(0700).times(t6, t2),
            dir("sub/deep").times(t1, t4),
            dir("sub").mode(0750).times(t2, t5),
            file("rodir/inside.txt", "inside").mode(0444).times(t3, t6),
            dir("rodir/inner").times(t4, t1),
            dir("rodir").mode(0555).times(t5, t2),
            dir("emptydir").times(t6, t3),
            dir("emptyro").mode(0555).times(t1, t5),
            softlink("rel-link", "plain.txt"),
            softlink("abs-link", outside + "/keep.txt"),
            softlink("dangling", "nowhere"),
            softlink("dirlink", "sub"),
            softlink("outdirlink", outside),
            dir(".").times(t3, t4),
        });
    }

    // Read-only, so that a change of attributes made through a link shows.
    void makeoutside(const std::string &outside)
    {
        maketree(outside, {file("keep.txt", "keep").mode(0444).times(t1, t2),
                           file("inner/x", "x").times(t1, t2),
                           dir("inner").mode(0555).times(t1, t2), dir(".").times(t1, t2)});
    }
};

TEST_F(DupraTree, CopyEqualsCpA)
{
    SKIP_POSIX_ONLY("the tree holds symbolic links, and cp -a is the measure");
    scratch outside;
    makeoutside(outside.path);
    makerichtree(s / "src", outside.path);
    tree source = snapshot(s / "src");
    tree beyond = snapshot(outside.path);

    result r = dupra({"src", "dupcopy"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("", comparetrees(source, snapshot(s / "dupcopy")));
    // The source, access times included, and what its links point at are
    // as they were.
    EXPECT_EQ("", comparetrees(source, snapshot(s / "src")));
    EXPECT_EQ("", comparetrees(beyond, snapshot(outside.path)));

    // cp reads the source plainly, so it comes last.  It keeps no creation
    // time of its own; dupra carries it.
    result cp = run("/bin/cp", {"-a", "src", "cpcopy"}, "", s.path);
    ASSERT_EQ(0, cp.status) << cp.err;
    EXPECT_EQ("", comparetrees(snapshot(s / "cpcopy"), snapshot(s / "dupcopy"), nocreated));
}

// Creation times come over whether the source keeps them in the record or
// the file system keeps them as birth times; the record of the copy says
// whether it is read-only.
TEST_F(DupraTree, CreationTimesAndTheirRecord)
{
    maketree(s.path, {
        file("src/f", "f").ctime(c1),
        file("src/ro", "ro").mode(0444).ctime(c2),
        file("src/born", "no record"),
        dir("src/d").ctime(c2),
        dir("src/rod").mode(0555).ctime(c1),
        dir("src").ctime(c1),
    });
    tree source = snapshot(s / "src");
    result r = dupra({"src", "copy"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ("", comparetrees(source, snapshot(s / "copy")));
    EXPECT_EQ(0x20, dosattributes(s / "copy/f"));
    EXPECT_EQ(0x21, dosattributes(s / "copy/ro"));
    EXPECT_EQ(0x20, dosattributes(s / "copy/born"));
    EXPECT_EQ(0x10, dosattributes(s / "copy/d"));
    EXPECT_EQ(winediffers(winedirreadonly) ? 0x10 : 0x11, dosattributes(s / "copy/rod"));
    EXPECT_EQ(0x10, dosattributes(s / "copy"));
}

// Links inside a tree are copied as links and never followed: what they
// point at outside the tree is neither copied nor touched.
TEST_F(DupraTree, LinksAreCopiedAsLinks)
{
    scratch outside;
    makeoutside(outside.path);
    maketree(s.path, {
        softlink("src/out", outside.path),
        softlink("src/outfile", outside.path + "/keep.txt"),
        softlink("src/self", "."),
        softlink("src/loop", "loop"),
    });
    SKIP_POSIX_ONLY("symbolic links");
    tree beyond = snapshot(outside.path);
    result r = dupra({"src", "copy"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    tree copy = snapshot(s / "copy");
    EXPECT_EQ(5u, copy.size());
    EXPECT_EQ("", comparetrees(snapshot(s / "src"), copy, noroottimes | nocreated));
    EXPECT_EQ("", comparetrees(beyond, snapshot(outside.path)));
}

// A copy onto another file system is the same copy.
TEST_F(DupraTree, OntoAnotherFileSystem)
{
    SKIP_UNLESS_OTHERFS("/dev/shm");
    scratch outside, there("/dev/shm");
    makeoutside(outside.path);
    if (underwine()) {
        // What of the rich tree Windows can hold: no links, no '*' or '?'
        // in a name.
        maketree(s / "src", {
            file("plain.txt", "plain\n").times(t1, t2),
            file("ro.txt", "read only").mode(0444).times(t4, t5),
            file("empty").times(t5, t6),
            file("big.bin", bulk(3 * 1024 * 1024 + 17)).times(t3, t5),
            file("with blank.txt", "name").times(t4, t6),
            file("sub/deep/leaf.txt", "leaf").times(t5, t1),
            dir("sub/deep").times(t1, t4),
            dir("sub").times(t2, t5),
            dir("emptydir").times(t6, t3),
            dir(".").times(t3, t4),
        });
    } else
        makerichtree(s / "src", outside.path);
    tree source = snapshot(s / "src");
    // An absolute path would be read as a group of options.
    result r = run(DUPRA_PATH, {"--", s / "src", there / "copy"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ("", comparetrees(source, snapshot(there / "copy")));
}

// The entries of a directory are taken last name first, in byte order.
TEST_F(DupraTree, EntriesInReverseNameOrder)
{
    if (underwine()) {
        // Windows names are one in either letter case, and it lists them
        // in the order of their upper-case forms: '_' after the letters.
        maketree(s.path, {file("src/a"), file("src/c"), file("src/b/x"), file("src/_")});
        result r = dupra({"-v", "src", "copy"});
        EXPECT_EQ(0, r.status);
        EXPECT_EQ(traceline("src", "copy") + traceline("src\\_", "copy\\_") +
                      traceline("src\\c", "copy\\c") + traceline("src\\b", "copy\\b") +
                      traceline("src\\b\\x", "copy\\b\\x") + traceline("src\\a", "copy\\a"),
                  r.out);
        EXPECT_EQ("", r.err);
        return;
    }
    maketree(s.path, {file("src/a"), file("src/B"), file("src/c"), file("src/b/x"),
                      file("src/_")});
    result r = dupra({"-v", "src", "copy"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(traceline("src", "copy") + traceline("src\\c", "copy\\c") +
                  traceline("src\\b", "copy\\b") + traceline("src\\b\\x", "copy\\b\\x") +
                  traceline("src\\a", "copy\\a") + traceline("src\\_", "copy\\_") +
                  traceline("src\\B", "copy\\B"),
              r.out);
    EXPECT_EQ("", r.err);
}

// A FIFO is refused with a report; everything else is still copied, and
// the directory still gets its times.
TEST_F(DupraTree, FifoRefusedTheRestCopied)
{
    SKIP_POSIX_ONLY("FIFOs");
    maketree(s.path, {file("src/a", "a").times(t1, t2), fifo("src/pipe"),
                      file("src/z", "z").times(t1, t2), dir("src").times(t3, t4)});
    tree source = snapshot(s / "src");
    result r = dupra({"src", "copy"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(copyfailed(50, EOPNOTSUPP, "src\\pipe", "copy\\pipe"), r.out);
    EXPECT_EQ("", r.err);
    source.erase("pipe");
    EXPECT_EQ("", comparetrees(source, snapshot(s / "copy")));
}

// A directory is refused where the destination holds a file of its name,
// and a file where it holds a directory; the rest of the tree goes on.
TEST_F(DupraTree, KindConflictsInsideATree)
{
    maketree(s.path, {
        file("src/a.txt", "a"),
        file("src/sub/inner", "inner"),
        file("src/z.txt", "z"),
        file("src/name", "a file"),
        file("dst/src/sub", "a file where a directory goes"),
        dir("dst/src/name"),
    });
    result r = dupra({"src", "dst"});
    EXPECT_EQ(1, r.status);
    // Last name first: sub before name.
    EXPECT_EQ(refused("directory to a file") + pairline("src\\sub", "dst\\src\\sub") +
                  refused("file to a directory") + pairline("src\\name", "dst\\src\\name"),
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("a file where a directory goes", readfile(s / "dst/src/sub"));
    EXPECT_EQ(kind::dir, readitem(s / "dst/src/name").type);
    EXPECT_EQ("a", readfile(s / "dst/src/a.txt"));
    EXPECT_EQ("z", readfile(s / "dst/src/z.txt"));
    EXPECT_EQ(intime(readitem(s / "src").mtime), readitem(s / "dst/src").mtime);
}

// --- into itself and to itself ----------------------------------------------

struct selfcase {
    const char *what;
    std::vector<std::string> args;
    std::string from, to; // canonical, relative to the scratch directory
};

// A tree is never copied below itself, however the two paths are spelled.
TEST_F(DupraTree, IntoItselfRefused)
{
    maketree(s.path, {file("dir/f", "f"), dir("dir/sub/deeper"), softlink("link", "dir"),
                      file("other.txt", "other")});
    const selfcase cases[] = {
        {"into a subdirectory", {"dir", "dir/sub"}, "dir", "dir/sub"},
        {"into a deeper one", {"dir", "dir/sub/deeper"}, "dir", "dir/sub/deeper"},
        {"with a trailing separator", {"dir/", "dir/sub"}, "dir/", "dir/sub"},
        {"with a trailing backslash", {"dir\\", "dir/sub"}, "dir/", "dir/sub"},
        {"through a link", {"dir", "link/sub"}, "dir", "dir/sub"},
        {"from a link", {"link", "dir/sub"}, "dir", "dir/sub"},
        {"through ..", {"dir", "dir/sub/../sub"}, "dir", "dir/sub"},
    };
    for (const selfcase &k : cases) {
        // link is a symbolic link, which a Windows tree holds not.
        if (underwine() && (k.args[0] == "link" || k.args[1].rfind("link/", 0) == 0))
            continue;
        tree before = snapshot(s.path);
        result r = dupra(k.args);
        EXPECT_EQ(1, r.status) << k.what;
        EXPECT_EQ(refused("into itself") + pairline(canonical(k.from), canonical(k.to)), r.out)
            << k.what;
        EXPECT_EQ("", r.err) << k.what;
        EXPECT_EQ("", comparetrees(before, snapshot(s.path))) << k.what;
    }
}

// The other sources are still copied.
TEST_F(DupraTree, IntoItselfAmongSeveral)
{
    maketree(s.path, {file("dir/f", "f"), dir("dir/sub"), file("other.txt", "other")});
    result r = dupra({"other.txt", "dir", "dir/sub"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(refused("into itself") + pairline(canonical("dir"), canonical("dir/sub")), r.out);
    EXPECT_EQ("other", readfile(s / "dir/sub/other.txt"));
    EXPECT_FALSE(exists(s / "dir/sub/dir"));
}

// Comparison goes by whole names: dir is not inside dirx.
TEST_F(DupraTree, NameThatBeginsLikeTheSourceIsNotInside)
{
    maketree(s.path, {file("dir/f", "f"), dir("dirx")});
    result r = dupra({"dir", "dirx"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ("", comparetrees(snapshot(s / "dir"), snapshot(s / "dirx/dir")));
}

// A copy to a new name inside the source stops at the copy itself: it
// holds everything else, and the copy of itself is refused.
TEST_F(DupraTree, ToANewNameInsideItselfStopsAtTheCopy)
{
    maketree(s.path, {file("dir/f", "f"), file("dir/a/x", "x"), dir("dir/b")});
    result r = dupra({"dir", "dir/new"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(refused("into itself") + pairline(canonical("dir/new"), canonical("dir/new")),
              r.out);
    EXPECT_EQ("", r.err);
    tree copy = snapshot(s / "dir/new");
    EXPECT_EQ(5u, copy.size());
    EXPECT_EQ("x", copy["a/x"].data);
    EXPECT_EQ(0u, copy.count("new"));
}

// Paths far longer than the old limit of 260 bytes, and names as long as
// the file system allows, are nothing special.
TEST_F(DupraTree, LongPaths)
{
    SKIP_POSIX_ONLY("paths beyond MAX_PATH, which Windows' ANSI calls refuse");
    const std::string level(60, 'n');
    std::string deep = "src";
    for (int i = 0; i < 10; i++)
        deep += "/" + level + std::to_string(i);
    const std::string longest(255, 'x');
    maketree(s.path, {file(deep + "/leaf", "leaf").times(t1, t2), dir(deep).times(t3, t4),
                      file("src/" + longest, "long name").times(t1, t2),
                      dir("src/d" + longest.substr(1)).times(t3, t4)});
    tree source = snapshot(s / "src");
    result r = dupra({"src", "copy"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ("", comparetrees(source, snapshot(s / "copy")));
}

// A directory copied into its own parent is the directory itself: refused,
// and not counted as a failure.
TEST_F(DupraTree, IntoItsOwnParentIsToItself)
{
    maketree(s.path, {file("dir/f", "f"), file("a.txt", "a"), dir("sub")});
    const std::vector<std::string> spellings[] = {
        {"dir", "."}, {"dir", "sub/.."}, {"./dir", "."}, {"dir", s.path}};
    for (const auto &args : spellings) {
        tree before = snapshot(s.path);
        result r = dupra(args);
        EXPECT_EQ(0, r.status) << args[1];
        EXPECT_EQ(refused("to itself") + pairline(canonical("dir"), canonical("dir")), r.out)
            << args[1];
        EXPECT_EQ("", r.err) << args[1];
        EXPECT_EQ("", comparetrees(before, snapshot(s.path))) << args[1];
    }
}

} // namespace
