// relka moving directories within one file system: renamed whole in one
// step, or merged entry by entry into a directory of the same name that
// exists already, with the emptied source directories removed afterwards.
#include "relka_fixture.h"

namespace relkatests {
namespace {

class RelkaTree : public relkatest {
protected:
    // A tree with every kind of item relka meets: files, read-only ones,
    // nested and read-only directories, links, a dangling link, a hidden
    // name.
    void makesource(const std::string &root)
    {
        maketree(root, {
            aged(dir("src"), 1),
            aged(file("src/a.txt", "alpha\n"), 2),
            aged(file("src/ro.txt", "read-only\n"), 3).mode(0444),
            aged(dir("src/sub"), 4).mode(0750),
            aged(file("src/sub/deep.txt", "deep\n"), 5),
            aged(dir("src/rosub"), 6).mode(0555),
            aged(file("src/rosub/x.txt", "x\n"), 7),
            aged(softlink("src/link", "a.txt"), 8),
            aged(softlink("src/dangling", "nowhere"), 9),
            aged(file("src/.hidden", "hidden\n"), 10),
        });
    }
};

item withperm(item it, mode_t perm)
{
    it.perm = perm;
    return it;
}

// --- renamed whole ----------------------------------------------------------

// Within one file system a directory is renamed in one step: nothing inside
// it is touched, so every time and bit stays, and -v shows one line.
TEST_F(RelkaTree, RenamedInOneStep)
{
    struct renamecase {
        args a;
        const char *out;
        const char *dest;
    };
    const renamecase cases[] = {
        {{"-v", "src", "dst"}, "src -> dst\n", "dst"},
        {{"-v", "src", "d"}, "src -> d\\src\n", "d/src"},
        {{"-v", "src", "d/"}, "src -> d/\\src\n", "d/src"},
        {{"-vd", "src", "d"}, "src -> d\\src\n", "d/src"}, // -d keeps emptied sources only
        {{"-vo", "./src", "d"}, "./src -> d\\src\n", "d/src"},
        {{"src", "dst"}, "", "dst"},
    };
    for (const renamecase &k : cases) {
        scratch here;
        makesource(here.path);
        maketree(here.path, {dir("d")});
        tree before = snapshot(here / "src");
        ino_t ino = inode(here / "src");

        result r = run(RELKA_PATH, k.a, "", here.path);
        EXPECT_EQ(0, r.status) << show(k.a);
        EXPECT_EQ(k.out, r.out) << show(k.a);
        EXPECT_EQ("", r.err) << show(k.a);
        EXPECT_FALSE(exists(here / "src")) << show(k.a);
        EXPECT_EQ("", compare(before, snapshot(here / k.dest))) << show(k.a);
        EXPECT_EQ(ino, inode(here / k.dest)) << show(k.a);
    }
}

// -i asks once for a directory that is renamed whole; nothing inside it is
// asked about.
TEST_F(RelkaTree, RenameAskedOnce)
{
    struct askcase {
        const char *input;
        int status;
        bool moved;
    };
    const askcase cases[] = {{"y\n", 0, true}, {"\n", 0, true}, {"n\n", 0, false},
                             {"", 0, false},   {"q\n", 1, false}};
    for (const askcase &k : cases) {
        scratch here;
        makesource(here.path);
        tree before = snapshot(here / "src");
        result r = run(RELKA_PATH, {"-i", "src", "dst"}, k.input, here.path);
        EXPECT_EQ(k.status, r.status) << k.input;
        EXPECT_EQ("src -> dst? y/n/q: ", r.out) << k.input;
        EXPECT_EQ("", r.err) << k.input;
        EXPECT_EQ("", compare(before, snapshot(here / (k.moved ? "dst" : "src")))) << k.input;
        EXPECT_NE(k.moved, exists(here / "src")) << k.input;
    }
}

// --- merged into an existing directory --------------------------------------

// The destination already holds a directory of the source's name: the
// entries go in one by one, the overwrites the user declines stay in the
// source, and the source directory, not empty, stays without a report and
// with its read-only bit.  Declining is no failure.
TEST_F(RelkaTree, MergedIntoExistingDirectory)
{
    maketree(s.path, {
        aged(dir("src"), 1).mode(0555),
        aged(file("src/a.txt", "new a\n"), 2),
        aged(file("src/b.txt", "new b\n"), 3),
        aged(dir("src/sub"), 4),
        aged(file("src/sub/deep.txt", "new deep\n"), 5),
        aged(file("src/sub/new.txt", "new\n"), 6),
        aged(dir("d/src"), 7).mode(0700),
        aged(file("d/src/a.txt", "old a\n"), 8),
        aged(dir("d/src/sub"), 9).mode(0755),
        aged(file("d/src/sub/deep.txt", "old deep\n"), 10),
    });
    tree before = snapshot(s.path);

    // Entries go last name first: sub (deep.txt after new.txt), b.txt, a.txt.
    result r = relka({"src", "d"}, "y\nn\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("overwite(d\\src\\sub\\deep.txt)\n"
              "d\\src\\sub\\deep.txt: overwrite? y/n/a/u/0: "
              "overwite(d\\src\\a.txt)\n"
              "d\\src\\a.txt: overwrite? y/n/a/u/0: ",
              r.out);
    EXPECT_EQ("", r.err);

    tree after = snapshot(s.path);
    EXPECT_EQ(dirmodeafter(0555), after["src"].perm) << "the source keeps its read-only bit";
    after.erase("src"); // its times changed as entries left it
    // Each destination directory keeps its own bits and takes its source
    // directory's times.
    tree expected = {
        {".", before["."]},
        {"d", before["d"]},
        {"src/a.txt", before["src/a.txt"]},
        {"d/src", withperm(before["src"], before["d/src"].perm)},
        {"d/src/a.txt", before["d/src/a.txt"]},
        {"d/src/b.txt", before["src/b.txt"]},
        {"d/src/sub", withperm(before["src/sub"], before["d/src/sub"].perm)},
        {"d/src/sub/deep.txt", before["src/sub/deep.txt"]},
        {"d/src/sub/new.txt", before["src/sub/new.txt"]},
    };
    EXPECT_EQ("", compare(expected, after, noroottimes));
}

// Emptied source directories are removed, read-only ones too, unless -d
// keeps them.  A subdirectory with no counterpart is renamed whole either
// way.
TEST_F(RelkaTree, EmptiedSourcesRemovedUnlessD)
{
    for (bool keep : {false, true}) {
        scratch here;
        maketree(here.path, {
            aged(dir("src"), 1).mode(0555),
            aged(file("src/a.txt", "alpha\n"), 2),
            aged(dir("src/sub"), 3).mode(0500),
            aged(file("src/sub/x.txt", "x\n"), 4),
            aged(dir("src/fresh"), 5),
            aged(file("src/fresh/y.txt", "y\n"), 6),
            aged(dir("d/src"), 7),
            aged(dir("d/src/sub"), 8),
        });
        tree before = snapshot(here.path);
        ino_t fresh = inode(here / "src/fresh");

        result r = run(RELKA_PATH, {keep ? "-vd" : "-v", "src", "d"}, "", here.path);
        EXPECT_EQ(0, r.status) << keep;
        EXPECT_EQ("src\\sub\\x.txt -> d\\src\\sub\\x.txt\n"
                  "src\\fresh -> d\\src\\fresh\n"
                  "src\\a.txt -> d\\src\\a.txt\n",
                  r.out)
            << keep;
        EXPECT_EQ("", r.err) << keep;

        tree after = snapshot(here.path);
        for (const char *name : {"src/a.txt", "src/sub/x.txt", "src/fresh", "src/fresh/y.txt"})
            EXPECT_EQ("", sameitem(before[name], after[std::string("d/") + name])) << name;
        EXPECT_EQ(fresh, inode(here / "d/src/fresh"));
        if (keep) {
            EXPECT_EQ(dirmodeafter(0555), after["src"].perm);
            EXPECT_EQ(dirmodeafter(0500), after["src/sub"].perm);
            EXPECT_EQ(0u, after.count("src/fresh"));
            EXPECT_EQ(0u, after.count("src/a.txt"));
        } else {
            EXPECT_FALSE(exists(here / "src"));
        }
        item sub = after["d/src/sub"];
        EXPECT_EQ("", sameitem(withperm(before["src/sub"], before["d/src/sub"].perm), sub));
    }
}

// An empty source directory merged into an existing one: nothing to move,
// the source goes and its times are carried over.
TEST_F(RelkaTree, EmptySourceMerged)
{
    maketree(s.path, {aged(dir("src"), 1).mode(0555), aged(dir("d/src"), 2).mode(0700)});
    tree before = snapshot(s.path);
    result r = relka({"-v", "src", "d"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_FALSE(exists(s / "src"));
    EXPECT_EQ("", sameitem(withperm(before["src"], 0700), readitem(s / "d/src")));
}

// -o keeps the earlier creation and write times of an existing destination
// directory; the access time is always the source's.
TEST_F(RelkaTree, DirectoryTimesMergedWithO)
{
    struct mergecase {
        const char *option;
        int destage; // aged() index of the destination: lower is earlier
        bool keepsdest;
    };
    const mergecase cases[] = {
        {"-o", 3, true}, {"-v", 3, false}, {"-o", 20, false}, {"-v", 20, false}};
    for (const mergecase &k : cases) {
        scratch here;
        maketree(here.path, {aged(dir("src"), 10), aged(file("src/a.txt", "a\n"), 11),
                             aged(dir("d/src"), k.destage)});
        tree before = snapshot(here.path);
        result r = run(RELKA_PATH, {k.option, "src", "d"}, "", here.path);
        EXPECT_EQ(0, r.status);

        item want = before["src"];
        if (k.keepsdest) {
            want.mtime = before["d/src"].mtime;
            want.created = before["d/src"].created;
        }
        EXPECT_EQ("", sameitem(want, readitem(here / "d/src"), nomode))
            << k.option << " " << k.destage;
    }
}

// --- the rename in place ----------------------------------------------------

// A directory named again by its own path is renamed onto itself and stays
// as it was.
TEST_F(RelkaTree, RenamedInPlace)
{
    struct inplacecase {
        args a;
        const char *input;
        const char *out;
    };
    const inplacecase cases[] = {
        {{"src", "./src"}, "", ""},
        {{"src", "src"}, "", ""},
        {{"-v", "src", "d/../src"}, "", "src -> d/../src\n"},
        {{"-i", "src", "./src"}, "y\n", "src -> ./src? y/n/q: "},
        {{"-i", "src", "./src"}, "n\n", "src -> ./src? y/n/q: "},
    };
    for (const inplacecase &k : cases) {
        scratch here;
        makesource(here.path);
        maketree(here.path, {dir("d")});
        tree before = snapshot(here / "src");
        ino_t ino = inode(here / "src");

        result r = run(RELKA_PATH, k.a, k.input, here.path);
        EXPECT_EQ(0, r.status) << show(k.a);
        EXPECT_EQ(k.out, r.out) << show(k.a);
        EXPECT_EQ("", r.err) << show(k.a);
        EXPECT_EQ("", compare(before, snapshot(here / "src"))) << show(k.a);
        EXPECT_EQ(ino, inode(here / "src")) << show(k.a);
    }
}

// Named again with a dot or two as its last component, a directory cannot
// take that as its name.
TEST_F(RelkaTree, CannotRenameAsDot)
{
    struct dotcase {
        args a;
        const char *cwd;
        const char *out;
    };
    const dotcase cases[] = {
        {{"src", "src/."}, "", "relka: src: cannot rename as '.'.\n"},
        {{"src", "src\\."}, "", "relka: src: cannot rename as '.'.\n"},
        {{"src", "./src/./."}, "", "relka: src: cannot rename as '.'.\n"},
        {{"src", "src/sub/.."}, "", "relka: src: cannot rename as '..'.\n"},
        {{".", "."}, "src", "relka: .: cannot rename as '.'.\n"},
        {{"-i", ".", "."}, "src", "relka: .: cannot rename as '.'.\n"},
        {{"../../src", ".."}, "src/sub", "relka: ../../src: cannot rename as '..'.\n"},
    };
    makesource(s.path);
    tree before = snapshot(s.path);
    for (const dotcase &k : cases) {
        result r = run(RELKA_PATH, k.a, "y\n", s / k.cwd);
        EXPECT_EQ(1, r.status) << show(k.a);
        EXPECT_EQ(k.out, r.out) << show(k.a);
        EXPECT_EQ("", r.err) << show(k.a);
        EXPECT_EQ("", compare(before, snapshot(s.path))) << show(k.a);
    }
}

} // namespace
} // namespace relkatests
