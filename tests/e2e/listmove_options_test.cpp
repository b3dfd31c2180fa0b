// The move-list programs' command line (letters, operands, the log file)
// and the input they must survive: a list that cannot be read, a binary
// file, NUL bytes, an empty srcdir.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "listmove.h"

namespace {

// --- option letters and operands ---------------------------------------------

class ListOptions : public ListTest {
protected:
    void SetUp() override { maketree(s.path, {file("old/a.txt", "A"), dir("new")}); }

    std::string badoption(const std::string &letter) const
    {
        return msg("bad option " + letter + "\n") + t.usage;
    }

    void expectnothingmoved(const std::string &what)
    {
        EXPECT_TRUE(exists(s / "old/a.txt")) << what;
        EXPECT_FALSE(exists(s / "new/a.txt")) << what;
    }
};

// s belongs to the copy tool alone; the list is never opened.
TEST_P(ListOptions, LetterSIsBad)
{
    for (const char *group : {"-s", "-S", "-vs", "/s"}) {
        result r = runtool({group, "old", "new", "nolist"});
        EXPECT_EQ(1, r.status) << group;
        EXPECT_EQ("", r.out) << group;
        EXPECT_EQ(badoption(std::string(1, group[strlen(group) - 1])), r.err) << group;
    }
}

// Letters that change nothing a list does: the run is as without them.
TEST_P(ListOptions, IdleLettersAccepted)
{
    for (const char *group : {"-d", "-c", "-dc", "-D", "/C"}) {
        scratch here;
        maketree(here.path, {file("old/a.txt", "A"), dir("new")});
        writefile(here / "moves", listtext({{fileline, "old/a.txt"}}));
        result r = run(t.path, {group, "old", "new", "moves"}, "", here.path);
        EXPECT_EQ(0, r.status) << group;
        EXPECT_EQ("", r.out + r.err) << group;
        EXPECT_EQ((words{"moves", "new", "new/a.txt", "old"}), names(here.path)) << group;
    }
}

// -i asks before each file line and never before a directory line.
TEST_P(ListOptions, ConfirmFileLines)
{
    maketree(s.path, {file("old/b.txt", "B"), file("old/d/c.txt", "C")});
    std::vector<listed> lines = {
        {dirline, "old/d"},
        {fileline, "old/a.txt"},
        {fileline, "old/b.txt"},
        {fileline, "old/d/c.txt"},
    };
    const std::string prompts = "old/a.txt -> new/a.txt? y/n/q: old/b.txt -> new/b.txt? y/n/q: "
                                "old/d/c.txt -> new/d/c.txt? y/n/q: ";
    // y moves, n keeps, Enter alone moves; declining is no failure.
    result r = runlist(lines, {"-i"}, "y\nn\n\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(prompts, r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ((words{"moves", "new", "new/a.txt", "new/d", "new/d/c.txt", "old", "old/b.txt",
                     "old/d"}),
              names(s.path));
}

TEST_P(ListOptions, ConfirmQuitEndsTheRun)
{
    maketree(s.path, {file("old/b.txt", "B"), dir("old/e")});
    result r = runlist({{fileline, "old/a.txt"}, {fileline, "old/b.txt"}, {dirline, "old/e"}},
                       {"-i"}, "y\nq\n");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("old/a.txt -> new/a.txt? y/n/q: old/b.txt -> new/b.txt? y/n/q: ", r.out);
    EXPECT_EQ((words{"moves", "new", "new/a.txt", "old", "old/b.txt", "old/e"}), names(s.path));
}

// A script that runs out of answers moves nothing more.
TEST_P(ListOptions, ConfirmAtEndOfInputIsNo)
{
    maketree(s.path, {file("old/b.txt", "B")});
    result r = runlist({{fileline, "old/a.txt"}, {fileline, "old/b.txt"}}, {"-i"}, "y\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("old/a.txt -> new/a.txt? y/n/q: old/b.txt -> new/b.txt? y/n/q: ", r.out);
    EXPECT_EQ((words{"moves", "new", "new/a.txt", "old", "old/b.txt"}), names(s.path));
}

// -v traces every directory line, refused or not, and every file move that
// is carried out; the trace stays on standard output beside a log file.
TEST_P(ListOptions, TraceLines)
{
    maketree(s.path, {dir("old/d"), dir("old/e"), file("old/b.txt", "B"), file("new/b.txt", "b"),
                      file("new/e", "in the way")});
    std::vector<listed> lines = {
        {dirline, "old/d"},
        {fileline, "old/a.txt"},
        {fileline, "old/b.txt"}, // declined: no trace
        {dirline, "old/e"},      // refused after its trace
    };
    const std::string refusal = msg("cannot move directory to a file.\n") + "\told/e -> new/e\n";
    const std::string trace = "old/d -> new/d\nold/a.txt -> new/a.txt\noverwite(new/b.txt)\n"
                              "old/e -> new/e\n";
    result r = runlist(lines, {"-vn"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(trace + refusal, r.out);
    EXPECT_EQ("", r.err);

    scratch again;
    maketree(again.path, {file("old/a.txt", "A"), dir("old/d"), dir("old/e"),
                          file("old/b.txt", "B"), file("new/b.txt", "b"),
                          file("new/e", "in the way")});
    writefile(again / "moves", listtext(lines));
    r = run(t.path, {"-v", "-n", "-l", "log", "old", "new", "moves"}, "", again.path);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(trace, r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(refusal, readlog(again / "log"));
}

// A srcdir that begins with "-" or "/" is read as options unless "--"
// stands before it.
TEST_P(ListOptions, SrcdirLikeAnOption)
{
    maketree(s.path, {file("-old/b.txt", "B")});
    std::string absolute = s / "old";
    writefile(s / "moves", listtext({{fileline, "-old/b.txt"}}));
    writefile(s / "absmoves", listtext({{fileline, absolute + "/a.txt"}}));

    result r = runtool({"-old", "new", "moves"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos, r.err.find(t.usage));
    r = runtool({absolute, "new", "absmoves"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find(t.usage));
    expectnothingmoved("without --");
    EXPECT_TRUE(exists(s / "-old/b.txt"));

    r = runtool({"--", "-old", "new", "moves"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    r = runtool({"--", absolute, s / "new", "absmoves"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ((words{"-old", "absmoves", "moves", "new", "new/a.txt", "new/b.txt", "old"}),
              names(s.path));
}

TEST_P(ListOptions, ExtraArgumentsIgnored)
{
    writefile(s / "moves", listtext({{fileline, "old/a.txt"}}));
    result r = runtool({"old", "new", "moves", "old/a.txt", "-x", "missing"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ((words{"moves", "new", "new/a.txt", "old"}), names(s.path));
}

// Fewer than three operands: the usage line.  With -l the log file is made
// (empty) as soon as one operand follows the options.
TEST_P(ListOptions, TooFewOperands)
{
    struct fewcase {
        words args;
        bool logmade;
    };
    const fewcase cases[] = {
        {{}, false},
        {{"old"}, false},
        {{"old", "new"}, false},
        {{"-v", "old", "new"}, false},
        {{"-l", "log"}, false},
        {{"-l", "log", "old"}, true},
        {{"-l", "log", "old", "new"}, true},
    };
    for (const fewcase &k : cases) {
        scratch here;
        writefile(here / "log", "old log");
        if (!k.logmade)
            unlink((here / "log").c_str());
        result r = run(t.path, k.args, "", here.path);
        std::string what = std::to_string(k.args.size()) + " arguments";
        EXPECT_EQ(1, r.status) << what;
        EXPECT_EQ("", r.out) << what;
        EXPECT_EQ(t.usage, r.err) << what;
        EXPECT_EQ(k.logmade, exists(here / "log")) << what;
        if (k.logmade) {
            EXPECT_EQ("", readlog(here / "log")) << what;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, ListOptions, ::testing::ValuesIn(listtools), listtoolname);

class BarvikOptions : public ListOptions {};

// barvik has no o: the letter is refused before the list is opened.
TEST_P(BarvikOptions, LetterOIsBad)
{
    for (const char *group : {"-o", "-O", "-vo", "/o"}) {
        writefile(s / "moves", listtext({{fileline, "old/a.txt"}}));
        result r = runtool({group, "old", "new", "moves"});
        EXPECT_EQ(1, r.status) << group;
        EXPECT_EQ("", r.out) << group;
        EXPECT_EQ(badoption(std::string(1, group[strlen(group) - 1])), r.err) << group;
        expectnothingmoved(group);
    }
}

INSTANTIATE_TEST_SUITE_P(, BarvikOptions, ::testing::Values(listtools[1]), listtoolname);

// --- the list as input --------------------------------------------------------

class ListInput : public ListTest {
protected:
    void SetUp() override { maketree(s.path, {file("old/a.txt", "A"), dir("new")}); }

    // The report of a list that cannot be read; the library's error text
    // brings its own line end.
    std::string cannotread(const std::string &list, int err) const
    {
        return msg(list + ": " + strerror(err) + "\n\n");
    }
};

TEST_P(ListInput, MissingList)
{
    result r = runtool({"old", "new", "nolist"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(cannotread("nolist", ENOENT), r.out);
    EXPECT_EQ("", r.err);

    r = runtool({"-l", "log", "old", "new", "nodir/nolist"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ(cannotread("nodir/nolist", ENOENT), readlog(s / "log"));
    EXPECT_EQ((words{"log", "new", "old", "old/a.txt"}), names(s.path));
}

TEST_P(ListInput, UnreadableList)
{
    writefile(s / "moves", listtext({{fileline, "old/a.txt"}}));
    ASSERT_EQ(0, chmod((s / "moves").c_str(), 0));
    command c;
    c.program = t.path;
    c.args = {"old", "new", "moves"};
    c.cwd = s.path;
    if (isroot()) {
        SKIP_POSIX_ONLY("root reads any file, and Wine's server refuses another POSIX user");
        // Root reads any file: the program runs as an ordinary user.
        ASSERT_EQ(0, chmod(s.path.c_str(), 0755));
        c.runas = nobody();
        if (access(t.path, X_OK) != 0)
            GTEST_SKIP() << "the built program is not reachable for another user";
    }
    result r = run(c);
    if (r.status == 127 && isroot())
        GTEST_SKIP() << "the built program is not reachable for another user: " << r.err;
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(cannotread("moves", EACCES), r.out);
    EXPECT_EQ("", r.err);
    EXPECT_TRUE(exists(s / "old/a.txt"));
}

// A directory named as the list cannot be read as one: reported like a
// list that cannot be opened, never taken for an empty list.
TEST_P(ListInput, DirectoryAsList)
{
    result r = runtool({"old", "new", "new"});
    EXPECT_EQ(1, r.status);
    // Windows' run time refuses to open a directory with EACCES.
    EXPECT_EQ(cannotread("new", underwine() ? EACCES : EISDIR), r.out);
    EXPECT_EQ("", r.err);
}

// A NUL byte would cut the path short and name another item: the line is
// skipped and reported, and the list goes on.  In the kind field it is a
// byte like any other.
TEST_P(ListInput, NulByteInThePath)
{
    maketree(s.path, {file("old/b.txt", "B"), file("old/c.txt", "C"), file("old/d.txt", "D"),
                      dir("old/e")});
    const std::string nul(1, '\0');
    writefile(s / "moves", "           old/a.txt" + nul + "x\n" +
                               "           " + nul + "old/b.txt\n" +
                               "<DIR>      old/e" + nul + "/f\n" +
                               nul + "          old/c.txt\n" +
                               "           old/d.txt\n");
    result r = runtool({"old", "new", "moves"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(msg("line 1 : NUL byte in the path, line skipped\n") +
                  msg("line 2 : NUL byte in the path, line skipped\n") +
                  msg("line 3 : NUL byte in the path, line skipped\n"),
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ((words{"moves", "new", "new/c.txt", "new/d.txt", "old", "old/a.txt", "old/b.txt",
                     "old/e"}),
              names(s.path));
}

// A binary file read as a list: whatever its lines say, no run crashes and
// nothing that no line names is moved or made.
TEST_P(ListInput, BinaryFileAsList)
{
    std::string text;
    uint32_t state = 12345;
    while (text.size() < 65536) {
        state = state * 1103515245u + 12345u;
        unsigned byte = (state >> 16) & 0xff;
        text += char(byte);
        if (byte % 37 == 0)
            text += "old"; // some lines hold srcdir and run
        if (byte % 41 == 0)
            text += "\n<"; // some are directory lines
    }
    writefile(s / "moves", text);
    const words before = names(s.path);
    for (const words &ends : {words{"old", "new"}, words{"", "new/"}, words{"", ""}}) {
        result r = runtool({ends[0], ends[1], "moves"});
        std::string what = "srcdir \"" + ends[0] + "\" dstdir \"" + ends[1] + "\"";
        EXPECT_TRUE(r.status == 0 || r.status == 1) << what << ": status " << r.status;
        EXPECT_EQ("", r.err) << what;
        EXPECT_EQ(before, names(s.path)) << what;
    }
}

// An empty srcdir is found at the start of every path: each new path is
// dstdir followed by the path, never dstdir alone.
TEST_P(ListInput, EmptySrcdir)
{
    maketree(s.path, {file("a.txt", "1"), file("sub/b.txt", "2"), file("c.txt", "3")});
    writefile(s / "moves", listtext({{fileline, "a.txt"}, {dirline, "sub"},
                                     {fileline, "sub/b.txt"}, {fileline, "c.txt"}}));
    result r = runtool({"", "new/", "moves"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ((words{"moves", "new", "new/a.txt", "new/c.txt", "new/sub", "new/sub/b.txt", "old",
                     "old/a.txt", "sub"}),
              names(s.path));
    EXPECT_EQ("1", readfile(s / "new/a.txt"));
    EXPECT_EQ("2", readfile(s / "new/sub/b.txt"));
}

// With an empty srcdir an empty path does hold srcdir; its new path is then
// dstdir itself, which no file is moved onto.
TEST_P(ListInput, EmptySrcdirAndEmptyPath)
{
    writefile(s / "moves", "           \nx\n");
    result r = runtool({"", "new", "moves"});
    EXPECT_EQ(1, r.status);
    const std::string refusal = msg("cannot move file to a directory.\n") + "\t -> new\n";
    EXPECT_EQ(refusal + refusal, r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ((words{"moves", "new", "old", "old/a.txt"}), names(s.path));
}

INSTANTIATE_TEST_SUITE_P(, ListInput, ::testing::ValuesIn(listtools), listtoolname);

} // namespace
