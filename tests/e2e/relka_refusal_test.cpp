// What relka refuses, and the moves that fail before anything is done:
// each leaves every item exactly as it was.
#include "relka_fixture.h"

namespace relkatests {
namespace {

class RelkaRefusal : public relkatest {
protected:
    void SetUp() override
    {
        maketree(s.path, {
            aged(dir("dir"), 1),
            aged(file("dir/in.txt", "in\n"), 2),
            aged(dir("dir/sub"), 3),
            aged(dir("dir/sub/deeper"), 4),
            aged(softlink("link", "dir"), 5),
            aged(file("a.txt", "a\n"), 6),
            aged(file("b.txt", "b\n"), 7),
            aged(file("f.txt", "f\n"), 8),
            aged(dir("dirx"), 9),
            // Holds a file named like the directory and a directory named
            // like the file.
            aged(file("holder/dir", "not a directory\n"), 10),
            aged(dir("holder/a.txt"), 11),
        });
        before = snapshot(s.path);
    }

    tree before;
};

// A directory moved into itself or below itself, however the destination
// is spelled: through a link, with a trailing separator, or the source
// given with one.
TEST_F(RelkaRefusal, IntoItself)
{
    struct itselfcase {
        args a;
        const char *from, *to; // canonical, as printed
    };
    const itselfcase cases[] = {
        {{"dir", "dir/sub"}, "dir", "dir/sub"},
        {{"dir", "dir/sub/deeper"}, "dir", "dir/sub/deeper"},
        {{"dir", "link/sub"}, "dir", "dir/sub"},
        {{"link", "dir/sub"}, "dir", "dir/sub"},
        {{"dir/", "dir/sub"}, "dir/", "dir/sub"},
        {{"dir", "dir/"}, "dir", "dir/"}, // not the directory's own name again
        {{"-v", "dir", "./dir/sub/"}, "dir", "dir/sub/"},
        {{"-i", "dir", "dirx/../dir/sub"}, "dir", "dir/sub"},
        {{"dir\\", "dir\\sub"}, "dir/", "dir/sub"},
    };
    for (const itselfcase &k : cases) {
        // A link resolved to the directory it names is a POSIX matter.
        bool throughlink = k.a[0] == "link" || k.a[1].rfind("link/", 0) == 0;
        if (throughlink && underwine())
            continue;
        result r = relka(k.a, "y\n");
        EXPECT_EQ(1, r.status) << show(k.a);
        EXPECT_EQ("relka: cannot move into itself.\n\t" + canonical(k.from) + " -> " +
                      canonical(k.to) + "\n",
                  r.out)
            << show(k.a);
        EXPECT_EQ("", r.err) << show(k.a);
        tree after = snapshot(s.path);
        // Resolving a path through the link reads it, which the system may
        // record as an access.
        after["link"].atime = before["link"].atime;
        EXPECT_EQ("", compare(before, after)) << show(k.a);
    }
}

// Among several sources, the one refused is counted; the others move.
TEST_F(RelkaRefusal, IntoItselfAmongSeveral)
{
    result r = relka({"a.txt", "dir", "b.txt", "dir/sub"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("relka: cannot move into itself.\n\t" + canonical("dir") + " -> " +
                  canonical("dir/sub") + "\n",
              r.out);
    EXPECT_EQ("", sameitem(before["a.txt"], readitem(s / "dir/sub/a.txt")));
    EXPECT_EQ("", sameitem(before["b.txt"], readitem(s / "dir/sub/b.txt")));
    EXPECT_TRUE(exists(s / "dir/in.txt"));
}

// A name that only begins like the source is not inside it.
TEST_F(RelkaRefusal, NeighbourIsNotInside)
{
    result r = relka({"-v", "dir", "dirx"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("dir -> dirx\\dir\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_FALSE(exists(s / "dir"));
    EXPECT_EQ("", sameitem(before["dir/sub/deeper"], readitem(s / "dirx/dir/sub/deeper")));
}

TEST_F(RelkaRefusal, RefusedWithNothingMoved)
{
    struct refusalcase {
        args a;
        std::string out;
        int status;
    };
    const std::string toitself = "relka: cannot move to itself.\n\t" + canonical("dir") + " -> " +
                                 canonical("dir") + "\n";
    const refusalcase cases[] = {
        {{"dir", "f.txt"}, "relka: cannot move directory to a file.\n", 1},
        {{"-i", "dir", "f.txt"}, "relka: cannot move directory to a file.\n", 1},
        {{"dir", "dir/in.txt"}, "relka: cannot move directory to a file.\n", 1},
        {{"-i", "dir", "holder"},
         "relka: cannot move directory to a file.\n\tdir -> holder\\dir\n", 1},
        {{"-i", "a.txt", "holder"},
         "relka: cannot move file to a directory.\n\ta.txt -> holder\\a.txt\n", 1},
        // The destination is the directory's own parent: nothing to do, and
        // no failure.
        {{"dir", "."}, toitself, 0},
        {{"-vi", "dir", "./"}, toitself, 0},
        {{"a.txt", "b.txt", "nodir"}, "relka: nodir: destination directory not exist.\n", 1},
        {{"a.txt", "dir", "nodir"}, "relka: nodir: destination directory not exist.\n", 1},
        {{"missing", "a.txt", "nodir"}, "relka: nodir: destination directory not exist.\n", 1},
        {{"a.txt", "b.txt", "f.txt"}, "relka: cannot move two or more files to a file.\n", 1},
        {{"dir", "a.txt", "f.txt"}, "relka: cannot move two or more files to a file.\n", 1},
    };
    for (const refusalcase &k : cases) {
        result r = relka(k.a, "y\n");
        EXPECT_EQ(k.status, r.status) << show(k.a);
        EXPECT_EQ(k.out, r.out) << show(k.a);
        EXPECT_EQ("", r.err) << show(k.a);
        EXPECT_EQ("", compare(before, snapshot(s.path))) << show(k.a);
    }
}

// A move the system refuses is reported once, with the error of the move
// call itself; nothing else runs on the destination.
TEST_F(RelkaRefusal, MoveCallFails)
{
    struct failcase {
        args a;
        std::string out;
    };
    const failcase cases[] = {
        {{"a.txt", "nodir/b.txt"},
         "relka: error 3 mvfile2newfile() " + systemtext(3, ENOENT) + "\ta.txt -> nodir/b.txt\n"},
        {{"-v", "a.txt", "nodir/b.txt"},
         "a.txt -> nodir/b.txt\n"
         "relka: error 3 mvfile2newfile() " + systemtext(3, ENOENT) + "\ta.txt -> nodir/b.txt\n"},
        {{"dir", "nodir/new"},
         "relka: error 3 mvdir2newdir() " + systemtext(3, ENOENT) + "\tdir -> nodir/new\n"},
        {{"-v", "dir", "nodir/new"},
         "dir -> nodir/new\n"
         "relka: error 3 mvdir2newdir() " + systemtext(3, ENOENT) + "\tdir -> nodir/new\n"},
    };
    for (const failcase &k : cases) {
        result r = relka(k.a);
        EXPECT_EQ(1, r.status) << show(k.a);
        EXPECT_EQ(k.out, r.out) << show(k.a);
        EXPECT_EQ("", r.err) << show(k.a);
        EXPECT_EQ("", compare(before, snapshot(s.path))) << show(k.a);
    }
}

} // namespace
} // namespace relkatests
