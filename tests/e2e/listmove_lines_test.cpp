// What the lines of a move list do in both programs: a file line moves one
// file with its times and read-only bit; a directory line makes the
// directory at the new path (or takes the one there) and gives it the
// source's read-only bit, and in barvo its times.  A failed line is
// reported, the list goes on, and the run ends with status 1.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "listmove.h"

namespace {

std::string errortext(unsigned code, int err)
{
    return systemtext(code, err);
}

const timespec created = at(2001, 1, 2, 3, 4, 5, 600);
const timespec accessed = at(2003, 4, 5, 6, 7, 8, 901234567);
const timespec written = at(2002, 3, 4, 5, 6, 7, 123456789);

// Directory times change as entries come and go, so a tree compared after
// a list filled it is compared by its directories' modes and its files.
tree withoutdirtimes(tree t)
{
    for (auto &entry : t)
        if (entry.second.type == kind::dir)
            entry.second.atime = entry.second.mtime = entry.second.created = 0;
    return t;
}

// Whether path's file system keeps the creation-time record.
bool keepscreation(const std::string &path)
{
    std::string probe = path + "/creation-probe";
    writefile(probe, "");
    bool kept = setcreation(probe, created, 0x20) == 0;
    unlink(probe.c_str());
    return kept;
}

// --- file lines --------------------------------------------------------------

// A read-only file that Wine failed to move to another file system.
std::string crossreadonly(const std::string &tool, const std::string &from, const std::string &to)
{
    return tool + ": error 5 mvfile2newfile() " + systemtext(5, EACCES) + "\t" + from + " -> " + to +
           "\n";
}

class ListFileLines : public ListTest {
protected:
    // Moves old/a.txt and the read-only old/ro.txt to the directory new
    // under base, by absolute paths, and checks that each arrives whole.
    void movesbelow(const scratch &base)
    {
        maketree(s.path, {
            file("old/a.txt", "A").times(accessed, written).ctime(created),
            file("old/ro.txt", "RO").mode(0444).times(accessed, written).ctime(created),
        });
        maketree(base.path, {dir("new")});
        tree before = snapshot(s / "old");
        std::string from = s / "old", to = base / "new";
        writefile(s / "moves", listtext({{fileline, from + "/a.txt"}, {fileline, from + "/ro.txt"}}));
        // Absolute paths begin with "/", which would start an option group.
        result r = runtool({"--", from, to, "moves"});
        int leaveout = noroottimes | (keepscreation(base.path) ? 0 : nocreated);
        EXPECT_EQ("", compare(before, snapshot(base / "new"), leaveout));
        if (&base != &s && winediffers(winecrossreadonly)) {
            // Wine copies the read-only file and then cannot remove it.
            EXPECT_EQ(1, r.status);
            EXPECT_EQ(crossreadonly(t.name, from + "/ro.txt", to + "/ro.txt"), r.out + r.err);
            EXPECT_EQ(words{"ro.txt"}, names(s / "old"));
        } else {
            EXPECT_EQ(0, r.status);
            EXPECT_EQ("", r.out + r.err);
            EXPECT_EQ(words{}, names(s / "old"));
        }
        EXPECT_EQ(0x21, dosattributes(base / "new/ro.txt"));
    }
};

TEST_P(ListFileLines, MovedWithTimesAndReadOnly)
{
    movesbelow(s);
}

TEST_P(ListFileLines, MovedToAnotherFileSystem)
{
    SKIP_UNLESS_OTHERFS("/dev/shm");
    scratch other("/dev/shm");
    movesbelow(other);
}

// srcdir is replaced where it first stands; what comes before it stays.
TEST_P(ListFileLines, NewPathByFirstOccurrence)
{
    maketree(s.path, {file("old/old/a.txt", "1"), file("x/old/b.txt", "2"), dir("new/old"),
                      dir("x/new")});
    result r = runlist({{fileline, "old/old/a.txt"}, {fileline, "x/old/b.txt"}});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ((words{"moves", "new", "new/old", "new/old/a.txt", "old", "old/old", "x", "x/new",
                     "x/new/b.txt", "x/old"}),
              names(s.path));
}

// No directory is made for a file line: its move fails, and the lines after
// it still run.
TEST_P(ListFileLines, MissingDirectoryFailsAndListGoesOn)
{
    maketree(s.path, {file("old/sub/a.txt", "A"), file("old/b.txt", "B"), dir("new")});
    result r = runlist({{fileline, "old/sub/a.txt"}, {fileline, "old/b.txt"}});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(msg("error 3 mvfile2newfile() ") + errortext(3, ENOENT) +
                  "\told/sub/a.txt -> new/sub/a.txt\n",
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ((words{"moves", "new", "new/b.txt", "old", "old/sub", "old/sub/a.txt"}),
              names(s.path));
}

TEST_P(ListFileLines, MissingSourceFailsAndListGoesOn)
{
    maketree(s.path, {file("old/b.txt", "B"), dir("new")});
    result r = runlist({{fileline, "old/none.txt"}, {fileline, "old/b.txt"}});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(msg("error 2 old/none.txt: ") + errortext(2, ENOENT) +
                  "\tCreateFile(old/none.txt)=INVALID_HANDLE_VALUE\n" +
                  msg("error 2 mvfile2newfile() ") + errortext(2, ENOENT) +
                  "\told/none.txt -> new/none.txt\n",
              r.out);
    EXPECT_EQ((words{"moves", "new", "new/b.txt", "old"}), names(s.path));
}

TEST_P(ListFileLines, DirectoryInTheWayIsRefused)
{
    maketree(s.path, {file("old/a.txt", "A"), file("old/b.txt", "B"), dir("new/a.txt")});
    result r = runlist({{fileline, "old/a.txt"}, {fileline, "old/b.txt"}});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(msg("cannot move file to a directory.\n") + "\told/a.txt -> new/a.txt\n", r.out);
    EXPECT_EQ((words{"moves", "new", "new/a.txt", "new/b.txt", "old", "old/a.txt"}),
              names(s.path));
}

// An existing file is put to the overwrite policy; declining is no failure.
TEST_P(ListFileLines, ExistingFile)
{
    struct existcase {
        words options;
        mode_t existing;
        std::string out;
        bool replaced;
    };
    const existcase cases[] = {
        {{"-n"}, 0644, "overwite(new/a.txt)\n", false},
        {{"-y"}, 0644, "overwite(new/a.txt)\n", true},
        {{"-r"}, 0444, "", false},
        {{"-f"}, 0444, "", true},
        {{}, 0644, "overwite(new/a.txt)\nnew/a.txt: overwrite? y/n/a/u/0: ", false},
    };
    for (const existcase &k : cases) {
        scratch here;
        maketree(here.path, {file("old/a.txt", "new content").times(accessed, written),
                             file("new/a.txt", "old content").mode(k.existing)});
        writefile(here / "moves", listtext({{fileline, "old/a.txt"}}));
        words args = k.options;
        args.insert(args.end(), {"old", "new", "moves"});
        result r = run(t.path, args, "", here.path);
        std::string what = k.options.empty() ? "no option" : k.options[0];
        EXPECT_EQ(0, r.status) << what;
        EXPECT_EQ(k.out, r.out) << what;
        EXPECT_EQ("", r.err) << what;
        EXPECT_EQ(k.replaced ? "new content" : "old content", readfile(here / "new/a.txt"))
            << what;
        EXPECT_EQ(!k.replaced, exists(here / "old/a.txt")) << what;
        if (k.replaced) {
            EXPECT_EQ(nanoseconds(written), readitem(here / "new/a.txt").mtime) << what;
        }
    }
}

// A list whose new paths name the listed files themselves, by the same
// spelling or another: agreeing to overwrite must not lose them.
TEST_P(ListFileLines, NewPathIsTheFileItself)
{
    const words ends[] = {{"old", "old"}, {"old/", "old/./"}, {"old", "new/../old"}};
    for (const words &k : ends) {
        scratch here;
        maketree(here.path, {
            file("old/a.txt", "A").times(accessed, written).ctime(created),
            file("old/ro.txt", "RO").mode(0444).times(accessed, written).ctime(created),
            dir("new"),
        });
        tree before = snapshot(here / "old");
        writefile(here / "moves", listtext({{fileline, "old/a.txt"}, {fileline, "old/ro.txt"}}));
        result r = run(t.path, {"-yf", k[0], k[1], "moves"}, "", here.path);
        std::string what = k[0] + " -> " + k[1];
        EXPECT_EQ(0, r.status) << what;
        EXPECT_EQ("", r.err) << what;
        EXPECT_EQ("", compare(before, snapshot(here / "old"), noroottimes)) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(, ListFileLines, ::testing::ValuesIn(listtools), listtoolname);

// --- directory lines ---------------------------------------------------------

class ListDirLines : public ListTest {
protected:
    void movestree(const scratch &base);
};

// The directory is made with the source's mode; barvo gives it the source's
// times, barvik leaves the times the system gave it.  The source directory
// and its entries stay where they are.
TEST_P(ListDirLines, NewDirectory)
{
    for (mode_t m : {0755, 0555, 0700, 0775}) {
        scratch here;
        maketree(here.path, {
            dir("old/d").mode(m).times(accessed, written).ctime(created),
            file("old/d/f.txt", "F"),
            dir("new"),
        });
        tree before = snapshot(here / "old");
        writefile(here / "moves", listtext({{dirline, "old/d"}}));
        result r = run(t.path, {"old", "new", "moves"}, "", here.path);
        std::string what = "mode " + std::to_string(m);
        EXPECT_EQ(0, r.status) << what;
        EXPECT_EQ("", r.out + r.err) << what;
        EXPECT_EQ("", compare(before, snapshot(here / "old"))) << what;
        tree after = snapshot(here / "new/d");
        ASSERT_EQ(1u, after.size()) << what << "\n" << compare(tree(), after);
        item made = after["."];
        EXPECT_EQ(kind::dir, made.type) << what;
        EXPECT_EQ(madedirmode(m), made.perm) << what;
        if (t.timed) {
            EXPECT_EQ(nanoseconds(accessed), made.atime) << what;
            EXPECT_EQ(nanoseconds(written), made.mtime) << what;
            EXPECT_EQ(createdas(created, made.mtime), made.created) << what;
        } else {
            EXPECT_GT(made.mtime, nanoseconds(written)) << what;
            if (!winediffers(winecreation)) { // the write time is newer, as checked
                EXPECT_NE(nanoseconds(created), made.created) << what;
            }
        }
    }
}

// An existing directory is taken as it is: its read-only bit is cleared and
// set again only when the source is read-only; barvo writes the source's
// times onto it, barvik leaves its times alone.
TEST_P(ListDirLines, ExistingDirectory)
{
    struct modecase {
        mode_t source, dest, after;
    };
    const modecase cases[] = {
        {0755, 0755, 0755},
        {0555, 0755, 0555},
        {0755, 0555, 0755},
        {0555, 0555, 0555},
    };
    const timespec destcreated = at(2010, 1, 1), desttime = at(2011, 1, 1);
    for (const modecase &k : cases) {
        scratch here;
        maketree(here.path, {
            dir("old/d").mode(k.source).times(accessed, written).ctime(created),
            file("new/d/keep.txt", "K"),
            dir("new/d").mode(k.dest).times(desttime, desttime).ctime(destcreated),
        });
        writefile(here / "moves", listtext({{dirline, "old/d"}}));
        result r = run(t.path, {"old", "new", "moves"}, "", here.path);
        std::string what = "source " + std::to_string(k.source) + " dest " + std::to_string(k.dest);
        EXPECT_EQ(0, r.status) << what;
        EXPECT_EQ("", r.out + r.err) << what;
        EXPECT_EQ((words{"moves", "new", "new/d", "new/d/keep.txt", "old", "old/d"}),
                  names(here.path))
            << what;
        item d = readitem(here / "new/d");
        EXPECT_EQ(dirmodeafter(k.after), d.perm) << what;
        bool timed = t.timed;
        EXPECT_EQ(nanoseconds(timed ? accessed : desttime), d.atime) << what;
        EXPECT_EQ(nanoseconds(timed ? written : desttime), d.mtime) << what;
        EXPECT_EQ(createdas(timed ? created : destcreated, d.mtime), d.created) << what;
    }
}

TEST_P(ListDirLines, FileInTheWayIsRefused)
{
    maketree(s.path, {
        dir("old/d"),
        file("old/a.txt", "A"),
        file("new/d", "in the way").mode(0444).times(accessed, written),
    });
    item file = readitem(s / "new/d");
    result r = runlist({{dirline, "old/d"}, {fileline, "old/a.txt"}});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(msg("cannot move directory to a file.\n") + "\told/d -> new/d\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("", compare({{"d", file}}, {{"d", readitem(s / "new/d")}}));
    EXPECT_EQ((words{"moves", "new", "new/a.txt", "new/d", "old", "old/d"}), names(s.path));
}

TEST_P(ListDirLines, ParentMissing)
{
    maketree(s.path, {dir("old/sub/d"), file("old/a.txt", "A"), dir("new")});
    result r = runlist({{dirline, "old/sub/d"}, {fileline, "old/a.txt"}});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(msg("error 3 new/sub/d: ") + errortext(3, ENOENT) +
                  "\tCreateDirectoryEx(old/sub/d,new/sub/d)\n",
              r.out);
    EXPECT_EQ((words{"moves", "new", "new/a.txt", "old", "old/sub", "old/sub/d"}),
              names(s.path));
}

TEST_P(ListDirLines, SourceMissing)
{
    maketree(s.path, {dir("old"), dir("new")});
    result r = runlist({{dirline, "old/none"}});
    std::string opened = msg("error 2 old/none: ") + errortext(2, ENOENT) +
                         "\tCreateFile(old/none)=INVALID_HANDLE_VALUE\n";
    if (winediffers(winetemplate)) {
        // Wine makes the directory without its template; barvo then only
        // fails to give it the missing source's times, which counts not.
        EXPECT_EQ(0, r.status);
        EXPECT_EQ(t.timed ? opened + msg("error 2 old/none: ") + errortext(2, ENOENT) +
                                "\tCreateFile(old/none)=0\n"
                          : "",
                  r.out);
        EXPECT_EQ((words{"moves", "new", "new/none", "old"}), names(s.path));
        return;
    }
    EXPECT_EQ(1, r.status);
    EXPECT_EQ((t.timed ? opened : "") + msg("error 2 new/none: ") + errortext(2, ENOENT) +
                  "\tCreateDirectoryEx(old/none,new/none)\n",
              r.out);
    EXPECT_EQ((words{"moves", "new", "old"}), names(s.path));
}

// A source that is gone must not strip an existing destination of its
// read-only bit and pass for a success: it is reported as missing.
TEST_P(ListDirLines, SourceMissingDestinationExists)
{
    maketree(s.path, {dir("old"), dir("new/none").mode(0555)});
    result r = runlist({{dirline, "old/none"}});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(msg("error 2 old/none: ") + errortext(2, ENOENT), r.out);
    EXPECT_EQ(0555u, mode(s / "new/none"));
}

// A file makes no template for a directory: nothing is made, the file
// stays, and the list goes on.
TEST_P(ListDirLines, SourceIsAFile)
{
    maketree(s.path, {file("old/a.txt", "A"), file("old/b.txt", "B"), dir("new")});
    result r = runlist({{dirline, "old/a.txt"}, {fileline, "old/b.txt"}});
    if (winediffers(winetemplate)) {
        // Wine makes the directory from no template at all.
        EXPECT_EQ(0, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_EQ((words{"moves", "new", "new/a.txt", "new/b.txt", "old", "old/a.txt"}),
                  names(s.path));
        return;
    }
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(msg("error 267 new/a.txt: ") + errortext(267, ENOTDIR) +
                  "\tCreateDirectoryEx(old/a.txt,new/a.txt)\n",
              r.out);
    EXPECT_EQ((words{"moves", "new", "new/b.txt", "old", "old/a.txt"}), names(s.path));
}

// A list as a directory listing gives it: each directory's line, then its
// files.  The tree arrives whole below base; the source keeps its emptied
// directories.  (No read-only directory here: on POSIX one takes no new
// entries from an ordinary user, which the list would need.)
void ListDirLines::movestree(const scratch &base)
{
    maketree(s.path, {
        dir("old").times(accessed, written).ctime(created),
        file("old/a.txt", "A").times(accessed, written).ctime(created),
        file("old/ro.txt", "RO").mode(0444).times(accessed, written),
        file("old/sub/b.txt", "B").times(accessed, written),
        file("old/sub/deeper/c.txt", "C").mode(0400).ctime(created),
        dir("old/sub/deeper"),
        dir("old/sub").mode(0750),
        dir("old/empty").mode(0700),
    });
    tree before = snapshot(s / "old");
    std::string from = s / "old", to = base / "new";
    writefile(s / "moves", listtext({
                               {dirline, from},
                               {fileline, from + "/a.txt"},
                               {fileline, from + "/ro.txt"},
                               {dirline, from + "/empty"},
                               {dirline, from + "/sub"},
                               {fileline, from + "/sub/b.txt"},
                               {dirline, from + "/sub/deeper"},
                               {fileline, from + "/sub/deeper/c.txt"},
                           }));
    result r = run(t.path, {"--", from, to, "moves"}, "", s.path);
    int leaveout = keepscreation(base.path) ? 0 : nocreated;
    EXPECT_EQ("", compare(withoutdirtimes(before), withoutdirtimes(snapshot(to)), leaveout));
    if (&base != &s && winediffers(winecrossreadonly)) {
        // Wine copies the read-only files and then cannot remove them.
        EXPECT_EQ(1, r.status);
        EXPECT_EQ(crossreadonly(t.name, from + "/ro.txt", to + "/ro.txt") +
                      crossreadonly(t.name, from + "/sub/deeper/c.txt", to + "/sub/deeper/c.txt"),
                  r.out + r.err);
        EXPECT_EQ((words{"empty", "ro.txt", "sub", "sub/deeper", "sub/deeper/c.txt"}),
                  names(from));
        return;
    }
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ((words{"empty", "sub", "sub/deeper"}), names(from));
}

TEST_P(ListDirLines, TypicalListMovesATree)
{
    movestree(s);
}

TEST_P(ListDirLines, TypicalListMovesATreeToAnotherFileSystem)
{
    SKIP_UNLESS_OTHERFS("/dev/shm");
    scratch other("/dev/shm");
    movestree(other);
}

INSTANTIATE_TEST_SUITE_P(, ListDirLines, ::testing::ValuesIn(listtools), listtoolname);

// --- barvo's times under -o --------------------------------------------------

class BarvoDirTimes : public ListTest {};

// With -o an existing destination keeps its creation and write times where
// they are the older ones; the access time is always the source's.
TEST_P(BarvoDirTimes, MergedUnderO)
{
    const timespec older = at(1999, 5, 6, 7, 8, 9, 100), newer = at(2012, 5, 6);
    struct mergecase {
        const char *what;
        bool oflag, destexists;
        timespec destcreated, destwritten;
        timespec expectcreated, expectwritten;
    };
    const mergecase cases[] = {
        {"without -o", false, true, older, older, created, written},
        {"destination older", true, true, older, older, older, older},
        {"destination newer", true, true, newer, newer, created, written},
        {"created older, written newer", true, true, older, newer, older, written},
        {"created newer, written older", true, true, newer, older, created, older},
        {"no destination", true, false, {}, {}, created, written},
    };
    for (const mergecase &k : cases) {
        scratch here;
        maketree(here.path, {dir("old/d").times(accessed, written).ctime(created), dir("new")});
        if (k.destexists)
            maketree(here.path,
                     {dir("new/d").times(newer, k.destwritten).ctime(k.destcreated)});
        writefile(here / "moves", listtext({{dirline, "old/d"}}));
        words args = {"old", "new", "moves"};
        if (k.oflag)
            args.insert(args.begin(), "-o");
        result r = run(t.path, args, "", here.path);
        EXPECT_EQ(0, r.status) << k.what;
        EXPECT_EQ("", r.out + r.err) << k.what;
        item d = readitem(here / "new/d");
        EXPECT_EQ(showtime(createdas(k.expectcreated, d.mtime)), showtime(d.created)) << k.what;
        EXPECT_EQ(showtime(nanoseconds(k.expectwritten)), showtime(d.mtime)) << k.what;
        EXPECT_EQ(showtime(nanoseconds(accessed)), showtime(d.atime)) << k.what;
    }
}

INSTANTIATE_TEST_SUITE_P(, BarvoDirTimes, ::testing::Values(listtools[0]), listtoolname);

} // namespace
