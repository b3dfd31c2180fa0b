// How both move-list programs read their list: DOS text, a kind field in
// columns 1 to 11, the path from column 12 taken exactly as written, lines
// of any length, and the stop at the first path without srcdir.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "listmove.h"

namespace {

class ListRead : public ListTest {};

struct listform {
    const char *what;
    std::string text;
};

const std::string a = "           old/a.txt", b = "           old/b.txt";

// Every form names old/a.txt and old/b.txt and nothing else that is read.
TEST_P(ListRead, DosTextForms)
{
    const std::string c = "           old/c.txt";
    const listform forms[] = {
        {"LF", a + "\n" + b + "\n"},
        {"LF, last line without one", a + "\n" + b},
        {"CRLF", a + "\r\n" + b + "\r\n"},
        {"CRLF and Ctrl-Z", a + "\r\n" + b + "\r\n\x1a"},
        {"text after Ctrl-Z", a + "\r\n" + b + "\r\n\x1a" + c + "\r\nno srcdir here\r\n"},
        {"Ctrl-Z ends the last line", a + "\n" + b + "\x1a.bak\n" + c + "\n"},
        {"carriage returns anywhere", "\r" + a.substr(0, 5) + "\r" + a.substr(5, 13) + "\r\r" +
                                          a.substr(18) + "\r\n\r" + b + "\r\r"},
        // A carriage return after the last line end is dropped like any
        // other: it makes no empty line of its own.
        {"carriage return after the last line", a + "\n" + b + "\n\r"},
        {"carriage return before Ctrl-Z", a + "\r\n" + b + "\r\n\r\x1a"},
    };
    for (const listform &f : forms) {
        scratch here;
        maketree(here.path, {file("old/a.txt", "A"), file("old/b.txt", "B"),
                             file("old/c.txt", "C"), dir("new")});
        writefile(here / "moves", f.text);
        result r = run(t.path, {"old", "new", "moves"}, "", here.path);
        EXPECT_EQ(0, r.status) << f.what;
        EXPECT_EQ("", r.out) << f.what;
        EXPECT_EQ("", r.err) << f.what;
        EXPECT_EQ((words{"moves", "new", "new/a.txt", "new/b.txt", "old", "old/c.txt"}),
                  names(here.path))
            << f.what;
    }
}

// A pipe cannot be wound on to its end: what follows Ctrl-Z there must be
// passed over all the same.
TEST_P(ListRead, CtrlZEndsAPipedList)
{
    maketree(s.path, {file("old/a.txt", "A"), file("old/b.txt", "B"), file("old/c.txt", "C"),
                      dir("new")});
    // Ctrl-Z ends the last line as well as the list.
    writefile(s / "moves", a + "\r\n" + b + "\x1a           old/c.txt\r\nno srcdir here\r\n");
    result r = run("/bin/sh", {"-c", "cat moves | \"$0\" old new /dev/stdin", t.path}, "", s.path);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ((words{"moves", "new", "new/a.txt", "new/b.txt", "old", "old/c.txt"}),
              names(s.path));
}

TEST_P(ListRead, NothingToRead)
{
    const listform forms[] = {
        {"empty", ""},
        {"Ctrl-Z first", "\x1a" + a + "\n"},
        {"carriage returns only", "\r\r"},
    };
    for (const listform &f : forms) {
        scratch here;
        maketree(here.path, {file("old/a.txt", "A"), dir("new")});
        writefile(here / "moves", f.text);
        result r = run(t.path, {"old", "new", "moves"}, "", here.path);
        EXPECT_EQ(0, r.status) << f.what;
        EXPECT_EQ("", r.out + r.err) << f.what;
        EXPECT_EQ((words{"moves", "new", "old", "old/a.txt"}), names(here.path)) << f.what;
    }
}

// Blanks, quotes and bytes above 0x7f, valid UTF-8 or not, are part of the
// path; nothing is trimmed or decoded.
TEST_P(ListRead, PathTakenAsWritten)
{
    words kept = {
        "a b.txt",
        "trailing blank ",
        "  leading blanks",
        "\"quoted\"",
        "tab\there",
        "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac.txt",
        "latin1 caf\xe9",
        "bytes \xff\xfe\x80",
    };
    // Windows holds no name that ends in a blank or holds '"' or a tab,
    // and it reads bytes above 0x7f in its ANSI code page, so that they
    // name other POSIX names: those names are POSIX only.
    if (underwine())
        kept = {"a b.txt", "  leading blanks"};
    std::vector<listed> lines;
    maketree(s.path, {dir("old"), dir("new")});
    for (const std::string &name : kept) {
        writefile(s / ("old/" + name), name);
        lines.push_back({fileline, "old/" + name});
    }
    result r = runlist(lines);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    words expected = {"moves", "new", "old"};
    for (const std::string &name : kept)
        expected.push_back("new/" + name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, names(s.path));
    for (const std::string &name : kept)
        EXPECT_EQ(name, readfile(s / ("new/" + name))) << name;
}

// Column 1 alone decides the kind; the path begins in column 12 exactly.
TEST_P(ListRead, KindField)
{
    struct kindcase {
        std::string kind; // the first 11 columns
        bool dirline;
    };
    const kindcase cases[] = {
        {"<          ", true}, {"<DIR>      ", true}, {"<<<<<<<<<<<", true},
        {"<\t\t\t\t\t\t\t\t\t\t", true}, {"           ", false}, {" <         ", false},
        {"x<<<<<<<<<<", false}, {"DIR>      <", false}, {"\t          ", false},
    };
    for (const kindcase &k : cases) {
        scratch here;
        maketree(here.path, {dir("old/d"), file("old/d/f.txt", "F"), dir("new")});
        // A file line names the file; a directory line names the directory.
        std::string name = k.dirline ? "old/d" : "old/d/f.txt";
        if (!k.dirline) {
            ASSERT_EQ(0, mkdir((here / "new/d").c_str(), 0755));
        }
        writefile(here / "moves", k.kind + name + "\n");
        result r = run(t.path, {"old", "new", "moves"}, "", here.path);
        std::string what = "kind field \"" + k.kind + "\"";
        EXPECT_EQ(0, r.status) << what;
        EXPECT_EQ("", r.out + r.err) << what;
        if (k.dirline) {
            // The directory is made; its entries stay for their own lines.
            EXPECT_EQ((words{"moves", "new", "new/d", "old", "old/d", "old/d/f.txt"}),
                      names(here.path))
                << what;
        } else {
            EXPECT_EQ((words{"moves", "new", "new/d", "new/d/f.txt", "old", "old/d"}),
                      names(here.path))
                << what;
        }
    }
}

// A line of 11 characters or fewer has an empty path, which holds no
// srcdir: the run stops there with an empty pair of quotes.
TEST_P(ListRead, ShortLinesHaveAnEmptyPath)
{
    const std::string shortlines[] = {
        "", "<", "x", "<DIR>", "          ", "<DIR>      ", "           ", "<DIR>     \r",
    };
    for (const std::string &line : shortlines) {
        scratch here;
        maketree(here.path, {file("old/a.txt", "A"), dir("new")});
        writefile(here / "moves", line + "\n" + a + "\n");
        result r = run(t.path, {"old", "new", "moves"}, "", here.path);
        std::string what = "line \"" + line + "\"";
        EXPECT_EQ(1, r.status) << what;
        EXPECT_EQ("line 1 : not replace old -> new : \"\"\n", r.out) << what;
        EXPECT_EQ("", r.err) << what;
        EXPECT_EQ((words{"moves", "new", "old", "old/a.txt"}), names(here.path)) << what;
    }
}

// The first path without srcdir stops the run: earlier moves stay, later
// lines are not read.  The texts are printed as typed.
TEST_P(ListRead, NotReplaceStops)
{
    struct stopcase {
        std::string stray;
        words args; // srcdir, dstdir
        std::string message;
    };
    const stopcase cases[] = {
        {"other/b.txt", {"old", "new"}, "line 2 : not replace old -> new : \"other/b.txt\"\n"},
        {"OLD/b.txt", {"old", "new"}, "line 2 : not replace old -> new : \"OLD/b.txt\"\n"},
        {"ol d/b.txt ", {"old", "new"}, "line 2 : not replace old -> new : \"ol d/b.txt \"\n"},
        {"old/b.txt", {"old/", "new/"}, ""}, // contains srcdir: no stop
        {"old\\b.txt", {"old/", "new/"}, "line 2 : not replace old/ -> new/ : \"old\\b.txt\"\n"},
    };
    for (const stopcase &k : cases) {
        scratch here;
        maketree(here.path, {file("old/a.txt", "A"), file("old/b.txt", "B"),
                             file("old/c.txt", "C"), dir("new")});
        writefile(here / "moves", listtext({{fileline, "old/a.txt"},
                                            {fileline, k.stray},
                                            {fileline, "old/c.txt"}}));
        words args = k.args;
        args.push_back("moves");
        result r = run(t.path, args, "", here.path);
        std::string what = "line \"" + k.stray + "\"";
        EXPECT_EQ("", r.err) << what;
        if (k.message.empty()) {
            EXPECT_EQ(0, r.status) << what;
            EXPECT_EQ("", r.out) << what;
            continue;
        }
        EXPECT_EQ(1, r.status) << what;
        EXPECT_EQ(k.message, r.out) << what;
        EXPECT_EQ((words{"moves", "new", "new/a.txt", "old", "old/b.txt", "old/c.txt"}),
                  names(here.path))
            << what;
    }
}

TEST_P(ListRead, NotReplaceGoesToTheLog)
{
    maketree(s.path, {file("old/a.txt", "A"), dir("new")});
    result r = runlist({{fileline, "other/a.txt"}}, {"-l", "log"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ("line 1 : not replace old -> new : \"other/a.txt\"\n", readlog(s / "log"));
}

// Paths longer than any line buffer: levels of 200-character names.
std::string longpath(const std::string &top, int levels)
{
    std::string p = top;
    for (int i = 0; i < levels; i++)
        p += "/" + std::string(199, char('a' + i)) + "z";
    return p;
}

// A long line is one line: it is read whole and counted once.
TEST_P(ListRead, LongLineIsOneLine)
{
    const int levels = 7; // about 1400 characters, beyond 1023
    std::string deep = longpath("old", levels) + "/f.txt";
    ASSERT_GT(deep.size(), 1023u);
    maketree(s.path, {file(deep, "deep"), dir("new")});
    std::vector<listed> lines;
    for (int i = 1; i <= levels; i++)
        lines.push_back({dirline, longpath("old", i)});
    lines.push_back({fileline, deep});
    lines.push_back({fileline, "stray"});
    result r = runlist(lines);
    EXPECT_EQ(1, r.status);
    std::string stray = "line " + std::to_string(levels + 2) + " : not replace old -> new : \"stray\"\n";
    if (underwine()) {
        // Windows' ANSI calls take no path beyond MAX_PATH: each line's
        // transfer fails with error 206, and the lines are still counted.
        EXPECT_EQ(stray, r.out.substr(r.out.size() - std::min(r.out.size(), stray.size())));
        EXPECT_NE(std::string::npos, r.out.find("error 206 mvfile2newfile() "));
        EXPECT_EQ("", r.err);
        EXPECT_TRUE(exists(s / deep));
        return;
    }
    EXPECT_EQ(stray, r.out);
    EXPECT_EQ("", r.err);
    std::string moved = longpath("new", levels) + "/f.txt";
    EXPECT_TRUE(exists(s / moved));
    EXPECT_EQ("deep", readfile(s / moved));
    EXPECT_FALSE(exists(s / deep));
}

// A path longer than the system takes fails in its transfer, reported
// whole, and the lines after it are still read and counted once.
TEST_P(ListRead, PathBeyondTheSystemLimit)
{
    maketree(s.path, {file("old/a.txt", "A"), dir("new")});
    std::string huge = "old/" + std::string(9000, 'x');
    std::string moved = "new/" + std::string(9000, 'x');
    result r = runlist({{fileline, huge}, {fileline, "old/a.txt"}, {fileline, "stray"}});
    std::string text = systemtext(206, ENAMETOOLONG);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(msg("error 206 " + huge + ": " + text) + "\tCreateFile(" + huge +
                  ")=INVALID_HANDLE_VALUE\n" + msg("error 206 mvfile2newfile() " + text) + "\t" +
                  huge + " -> " + moved + "\n" +
                  "line 3 : not replace old -> new : \"stray\"\n",
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ((words{"moves", "new", "new/a.txt", "old"}), names(s.path));
}

INSTANTIATE_TEST_SUITE_P(, ListRead, ::testing::ValuesIn(listtools), listtoolname);

} // namespace
