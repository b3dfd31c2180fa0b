// relka moving single files within one file system: to a new name, onto
// an existing file, into a directory, several at once, and the cases where
// a file meets itself.  A moved file must be the very file that stood at
// the source: same inode, content, permission bits and all three times.
#include <unistd.h>

#include "relka_fixture.h"

namespace relkatests {
namespace {

class RelkaFile : public relkatest {};

// --- to a new name ----------------------------------------------------------

struct newnamecase {
    mode_t perm;
    bool created; // an explicit creation record, else the birth time
};

TEST_F(RelkaFile, ToNewNameIsTheSameFile)
{
    const newnamecase cases[] = {{0644, true}, {0444, true}, {0400, false}, {0750, false}};
    for (const newnamecase &k : cases) {
        scratch here;
        node a = aged(file("a.txt", "alpha\n"), 1).mode(k.perm);
        if (!k.created)
            a.created.reset();
        maketree(here.path, {a});
        item before = readitem(here / "a.txt");
        ino_t ino = inode(here / "a.txt");

        result r = run(RELKA_PATH, {"-v", "a.txt", "b.txt"}, "", here.path);
        EXPECT_EQ(0, r.status) << std::oct << k.perm;
        EXPECT_EQ("a.txt -> b.txt\n", r.out);
        EXPECT_EQ("", r.err);
        EXPECT_FALSE(exists(here / "a.txt"));
        EXPECT_EQ("", sameitem(before, readitem(here / "b.txt"))) << std::oct << k.perm;
        EXPECT_EQ(ino, inode(here / "b.txt")) << "renamed, not copied";
    }
}

// A name that differs only in letter case names another file here.
TEST_F(RelkaFile, OtherLetterCaseIsANewName)
{
    SKIP_POSIX_ONLY("Windows names are the same in either letter case");
    maketree(s.path, {aged(file("a.txt", "alpha\n"), 1)});
    item before = readitem(s / "a.txt");
    result r = relka({"a.txt", "A.TXT"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_FALSE(exists(s / "a.txt"));
    EXPECT_EQ("", sameitem(before, readitem(s / "A.TXT")));
}

// When both spellings exist they are two files, and the one that would be
// replaced is put to the overwrite question like any other.
TEST_F(RelkaFile, OtherLetterCaseOfAnExistingFileIsAsked)
{
    for (const char *answer : {"n\n", ""}) {
        scratch here;
        maketree(here.path, {aged(file("a.txt", "lower\n"), 1), aged(file("A.TXT", "upper\n"), 2)});
        tree before = snapshot(here.path);
        result r = run(RELKA_PATH, {"a.txt", "A.TXT"}, answer, here.path);
        EXPECT_EQ(0, r.status);
        EXPECT_EQ("overwite(A.TXT)\nA.TXT: overwrite? y/n/a/u/0: ", r.out);
        EXPECT_EQ("", r.err);
        EXPECT_EQ("", compare(before, snapshot(here.path)));
    }
}

// --- onto an existing file --------------------------------------------------

struct overwritecase {
    bool readonly; // the existing destination
    args options;
    const char *input;
    bool replaced;
    const char *out;
};

const char *const asked = "overwite(b.txt)\nb.txt: overwrite? y/n/a/u/0: ";
const char *const roasked = "b.txt: read-only file, overwrite? y/n/a/u/0: ";

const overwritecase overwrites[] = {
    {false, {}, "y\n", true, asked},
    {false, {}, "\n", true, asked},   // Enter alone
    {false, {}, "\r\n", true, asked}, // Enter, with a DOS line end
    {false, {}, "n\n", false, asked},
    {false, {}, "", false, asked},    // end of input
    {false, {"-y"}, "", true, "overwite(b.txt)\n"},
    {false, {"-n"}, "", false, "overwite(b.txt)\n"},
    {true, {}, "y\n", true, roasked},
    {true, {}, "n\n", false, roasked},
    {true, {}, "", false, roasked},
    {true, {"-f"}, "", true, ""},
    {true, {"-r"}, "", false, ""},
    {true, {"-y"}, "", false, roasked}, // -y answers for writable files only
};

// The source takes the destination's place in one step: what stands at
// b.txt afterwards is the source file itself.  Declined, both stay.
TEST_F(RelkaFile, OntoAnExistingFile)
{
    for (const overwritecase &k : overwrites) {
        scratch here;
        maketree(here.path, {aged(file("a.txt", "new\n"), 1),
                             aged(file("b.txt", "old\n"), 2).mode(k.readonly ? 0444 : 0644)});
        tree before = snapshot(here.path);
        ino_t ino = inode(here / "a.txt");
        args a = k.options;
        a.insert(a.end(), {"a.txt", "b.txt"});

        result r = run(RELKA_PATH, a, k.input, here.path);
        std::string label = show(a) + " answered '" + k.input + "'";
        EXPECT_EQ(0, r.status) << label;
        EXPECT_EQ(k.out, r.out) << label;
        EXPECT_EQ("", r.err) << label;
        if (k.replaced) {
            EXPECT_FALSE(exists(here / "a.txt")) << label;
            EXPECT_EQ("", sameitem(before["a.txt"], readitem(here / "b.txt"))) << label;
            EXPECT_EQ(ino, inode(here / "b.txt")) << label;
        } else {
            EXPECT_EQ("", compare(before, snapshot(here.path), noroottimes)) << label;
        }
    }
}

// A read-only source keeps its bit and times when it replaces a file.
TEST_F(RelkaFile, ReadOnlySourceOntoAnExistingFile)
{
    maketree(s.path, {aged(file("a.txt", "new\n"), 1).mode(0444), aged(file("b.txt", "old\n"), 2)});
    item before = readitem(s / "a.txt");
    result r = relka({"-y", "a.txt", "b.txt"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("overwite(b.txt)\n", r.out);
    EXPECT_EQ("", sameitem(before, readitem(s / "b.txt")));
    EXPECT_EQ(0x21, dosattributes(s / "b.txt"));
}

// -t keeps the earlier creation time of the file replaced; the other two
// times are the source's.
TEST_F(RelkaFile, CreationTimeMergedWithT)
{
    maketree(s.path, {aged(file("a.txt", "new\n"), 5), aged(file("b.txt", "old\n"), 2),
                      aged(file("c.txt", "new\n"), 1), aged(file("d.txt", "old\n"), 6)});
    tree before = snapshot(s.path);
    EXPECT_EQ(0, relka({"-ty", "a.txt", "b.txt"}).status);
    EXPECT_EQ(0, relka({"-ty", "c.txt", "d.txt"}).status);

    item older = before["a.txt"];
    older.created = createdas(before["b.txt"].created, older.mtime);
    EXPECT_EQ("", sameitem(older, readitem(s / "b.txt")));
    EXPECT_EQ("", sameitem(before["c.txt"], readitem(s / "d.txt")));
}

// --- into a directory -------------------------------------------------------

TEST_F(RelkaFile, IntoADirectory)
{
    maketree(s.path, {aged(file("a.txt", "alpha\n"), 1).mode(0444), dir("d")});
    item before = readitem(s / "a.txt");
    result r = relka({"-v", "a.txt", "d"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("a.txt -> d\\a.txt\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_FALSE(exists(s / "a.txt"));
    EXPECT_EQ("", sameitem(before, readitem(s / "d/a.txt")));
}

TEST_F(RelkaFile, IntoADirectoryOntoAFileOfTheSameName)
{
    maketree(s.path, {aged(file("a.txt", "new\n"), 1), aged(file("d/a.txt", "old\n"), 2)});
    tree before = snapshot(s.path);
    result r = relka({"a.txt", "d"}, "n\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("overwite(d\\a.txt)\nd\\a.txt: overwrite? y/n/a/u/0: ", r.out);
    EXPECT_EQ("", compare(before, snapshot(s.path)));

    r = relka({"a.txt", "d"}, "y\n");
    EXPECT_EQ(0, r.status);
    EXPECT_FALSE(exists(s / "a.txt"));
    EXPECT_EQ("", sameitem(before["a.txt"], readitem(s / "d/a.txt")));
}

// Another name of the same file (a hard link) as the destination: the
// read-only file made writable to be replaced is the source itself, and
// it keeps its read-only bit where it now stands.
TEST_F(RelkaFile, OntoAnotherNameOfTheSameFile)
{
    maketree(s.path, {aged(file("a.txt", "alpha\n"), 1).mode(0444)});
    ASSERT_EQ(0, link((s / "a.txt").c_str(), (s / "hard").c_str()));
    result r = relka({"-f", "a.txt", "hard"});
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ("alpha\n", readfile(s / "hard"));
    EXPECT_EQ(0444u, mode(s / "hard"));
}

// A link named with the full path of the file it leads to: moving it
// "onto its own path" would replace the file with a link to itself.  The
// move is refused and the file keeps its data.
TEST_F(RelkaFile, LinkOntoTheFileItLeadsTo)
{
    SKIP_POSIX_ONLY("symbolic links");
    maketree(s.path, {file("file", "data\n"), softlink("link", "file")});
    result r = relka({"-y", "link", "file"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.out.find("mvfile2newfile()")) << r.out;
    EXPECT_EQ("data\n", readfile(s / "file"));
    EXPECT_EQ(kind::link, readitem(s / "link").type);
}

// A file that already lies in the destination directory meets itself
// there.  It is asked about like any existing file, and whatever the
// answer it stays whole, with its read-only bit.
TEST_F(RelkaFile, IntoTheDirectoryThatHoldsIt)
{
    struct selfcase {
        mode_t perm;
        args options;
        const char *input;
        const char *out;
    };
    const char *writable = "overwite(d\\a.txt)\nd\\a.txt: overwrite? y/n/a/u/0: ";
    const char *readonly = "d\\a.txt: read-only file, overwrite? y/n/a/u/0: ";
    const selfcase cases[] = {
        {0644, {}, "y\n", writable},   {0644, {}, "n\n", writable},
        {0644, {}, "", writable},      {0644, {"-y"}, "", "overwite(d\\a.txt)\n"},
        {0444, {}, "y\n", readonly},   {0444, {}, "n\n", readonly},
        {0444, {"-f"}, "", ""},        {0400, {"-f"}, "", ""},
    };
    for (const selfcase &k : cases) {
        scratch here;
        maketree(here.path, {aged(file("d/a.txt", "alpha\n"), 1).mode(k.perm)});
        tree before = snapshot(here.path);
        args a = k.options;
        a.insert(a.end(), {"d/a.txt", "d"});
        std::string label = show(a) + " answered '" + k.input + "'";

        result r = run(RELKA_PATH, a, k.input, here.path);
        EXPECT_EQ(0, r.status) << label;
        EXPECT_EQ(k.out, r.out) << label;
        EXPECT_EQ("", r.err) << label;
        // The directory's own times may change when the file is renamed
        // onto its own name; the file itself must not.
        tree after = snapshot(here.path);
        EXPECT_EQ("", sameitem(before["d/a.txt"], after["d/a.txt"])) << label;
        EXPECT_EQ(3u, after.size()) << label; // ., d and d/a.txt
    }
}

// --- several sources --------------------------------------------------------

TEST_F(RelkaFile, SeveralSourcesIntoADirectory)
{
    maketree(s.path, {aged(file("a.txt", "alpha\n"), 1), aged(dir("sub"), 2),
                      aged(file("sub/inner.txt", "inner\n"), 3), aged(file("b.txt", "beta\n"), 4),
                      dir("d")});
    tree before = snapshot(s.path);
    result r = relka({"-v", "a.txt", "sub", "b.txt", "d"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("a.txt -> d\\a.txt\nsub -> d\\sub\nb.txt -> d\\b.txt\n", r.out);
    EXPECT_EQ("", r.err);
    tree after = snapshot(s.path);
    for (const char *name : {"a.txt", "sub", "sub/inner.txt", "b.txt"}) {
        EXPECT_EQ(0u, after.count(name)) << name;
        EXPECT_EQ("", sameitem(before[name], after[std::string("d/") + name])) << name;
    }
}

// --- sources that are not there ---------------------------------------------

TEST_F(RelkaFile, MissingSource)
{
    struct missingcase {
        args a;
        std::string out;
    };
    const missingcase cases[] = {
        {{"missing.txt", "b.txt"}, "relka: error 2 missing.txt: " + systemtext(2, ENOENT)},
        {{"missing.txt", "d"}, "relka: error 2 missing.txt: " + systemtext(2, ENOENT)},
        {{"nodir/x.txt", "d"}, "relka: error 3 nodir/x.txt: " + systemtext(3, ENOENT)},
        {{"-v", "missing", "newdir"}, "relka: error 2 missing: " + systemtext(2, ENOENT)},
    };
    maketree(s.path, {dir("d")});
    tree before = snapshot(s.path);
    for (const missingcase &k : cases) {
        result r = relka(k.a);
        EXPECT_EQ(1, r.status) << show(k.a);
        EXPECT_EQ(k.out, r.out) << show(k.a);
        EXPECT_EQ("", r.err) << show(k.a);
        EXPECT_EQ("", compare(before, snapshot(s.path))) << show(k.a);
    }
}

// A missing source among several is reported; the others are still moved.
TEST_F(RelkaFile, MissingSourceAmongSeveral)
{
    maketree(s.path, {aged(file("a.txt", "alpha\n"), 1), aged(file("b.txt", "beta\n"), 2), dir("d")});
    tree before = snapshot(s.path);
    result r = relka({"-v", "a.txt", "missing.txt", "b.txt", "d"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("a.txt -> d\\a.txt\n"
              "relka: error 2 missing.txt: " + systemtext(2, ENOENT) +
              "b.txt -> d\\b.txt\n",
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("", sameitem(before["a.txt"], readitem(s / "d/a.txt")));
    EXPECT_EQ("", sameitem(before["b.txt"], readitem(s / "d/b.txt")));
}

// --- the rename in place ----------------------------------------------------

// A file named again by its own path is renamed onto itself: it must never
// be deleted, and keeps its content, times and read-only bit.
TEST_F(RelkaFile, RenamedInPlace)
{
    struct inplacecase {
        args a;
        const char *input;
        const char *out;
    };
    const inplacecase cases[] = {
        {{"a.txt", "./a.txt"}, "", ""},
        {{"a.txt", "a.txt"}, "", ""},
        {{"-v", "a.txt", "./a.txt"}, "", "a.txt -> ./a.txt\n"},
        {{"./a.txt", "sub/../a.txt"}, "", ""},
        {{"-i", "a.txt", "./a.txt"}, "y\n", "a.txt -> ./a.txt? y/n/q: "},
        {{"-i", "a.txt", "./a.txt"}, "n\n", "a.txt -> ./a.txt? y/n/q: "},
        {{"-i", "a.txt", "./a.txt"}, "", "a.txt -> ./a.txt? y/n/q: "},
        {{"-y", "a.txt", ".\\a.txt"}, "", ""},
    };
    for (mode_t perm : {0644, 0444}) {
        for (const inplacecase &k : cases) {
            scratch here;
            maketree(here.path, {aged(file("a.txt", "alpha\n"), 1).mode(perm), dir("sub")});
            tree before = snapshot(here.path);
            ino_t ino = inode(here / "a.txt");
            std::string label = show(k.a) + " mode " + std::to_string(perm);

            result r = run(RELKA_PATH, k.a, k.input, here.path);
            EXPECT_EQ(0, r.status) << label;
            EXPECT_EQ(k.out, r.out) << label;
            EXPECT_EQ("", r.err) << label;
            EXPECT_EQ("", compare(before, snapshot(here.path), noroottimes)) << label;
            EXPECT_EQ(ino, inode(here / "a.txt")) << label;
        }
    }
}

} // namespace
} // namespace relkatests
