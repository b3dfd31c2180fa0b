// The frame all four programs share, as users meet it: help, option
// letters and groups, the log file, and wildcard expansion before anything
// else.  Every case runs the built program in a scratch directory and
// checks both streams byte for byte.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"

namespace {

struct tool {
    const char *name;
    const char *path;
    const char *usage;   // as the program prints it
    const char *letters; // accepted option letters besides l, h and ?
    bool listtool;       // takes srcdir dstdir list
};

const tool tools[] = {
    {"dupra", DUPRA_PATH, "usage: dupra [-vidostynzfrw] [-l logfile] file1.. filen\n",
     "cdfinorstvwyz", false},
    {"relka", RELKA_PATH, "usage: relka [-vidotynzfrw] [-l logfile] file1.. filen\n",
     "cdfinortvwyz", false},
    {"barvo", BARVO_PATH, "usage: barvo [-vidotynzfrw] [-l logfile] srcdir dstdir list\n",
     "cdfinortvwyz", true},
    {"barvik", BARVIK_PATH, "usage: barvik [-vidtynzfrw] [-l logfile] srcdir dstdir list\n",
     "cdfinrtvwyz", true},
};

typedef std::vector<std::string> args;

args operator+(args a, const args &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string show(const args &a)
{
    std::string s;
    for (const std::string &w : a)
        s += " '" + w + "'";
    return s;
}

class Frame : public ::testing::TestWithParam<tool> {
protected:
    const tool &t = GetParam();
    scratch s;

    result runtool(const args &a, const std::string &input = "")
    {
        return run(t.path, a, input, s.path);
    }

    std::string badoption(char c) const
    {
        return std::string(t.name) + ": bad option " + c + "\n" + t.usage;
    }

    // Operands of one file transfer that succeeds, made under root, with
    // its trace line and the path it brings the file to.
    args transfer;
    std::string traceline, target;

    void maketransfer(const std::string &root)
    {
        if (t.listtool) {
            maketree(root, {file("old/a.txt", "A"), dir("new"),
                            file("moves", "           old/a.txt\n")});
            transfer = {"old", "new", "moves"};
            traceline = "old/a.txt -> new/a.txt\n";
            target = "new/a.txt";
        } else {
            maketree(root, {file("a.txt", "A")});
            transfer = {"a.txt", "b.txt"};
            traceline = "a.txt -> b.txt\n";
            target = "b.txt";
        }
    }

    // Operands that the program refuses with one message on msgout.
    args refused() const
    {
        return t.listtool ? args{"old", "new", "nolist"} : args{"a.txt", "x", "nodir"};
    }

    std::string refusal() const
    {
        if (t.listtool)
            return std::string(t.name) + ": nolist: " + strerror(ENOENT) + "\n\n";
        return std::string(t.name) + ": nodir: destination directory not exist.\n";
    }
};

// --- help and option letters ------------------------------------------------

TEST_P(Frame, HelpPrintsUsage)
{
    // Were -? taken for a pattern, it would match this file and the run
    // would end in "bad option a".
    maketree(s.path, {file("-a")});
    const args cases[] = {
        {"-?"}, {"/?"}, {"-h"}, {"-H"}, {"/h"}, {"-vh"}, {"-v", "-?"},
        {"-?", "x", "y", "z"}, {"-h", "x", "y", "z"},
    };
    for (const args &a : cases) {
        result r = runtool(a);
        EXPECT_EQ(1, r.status) << show(a);
        EXPECT_EQ("", r.out) << show(a);
        EXPECT_EQ(t.usage, r.err) << show(a);
    }
}

// Every character that is not an option letter, as the first of a group and
// after good letters, in either case; the message echoes it as typed.
TEST_P(Frame, BadOptionLetters)
{
    std::string others = "019.,:=+!#~_'\"\\";
    for (char c = 'a'; c <= 'z'; c++)
        if (!strchr(t.letters, c) && c != 'l' && c != 'h')
            others += std::string{c, char(c - 'a' + 'A')};
    for (char c : others) {
        for (const std::string &group : {std::string("-") + c, std::string("/vV-") + c}) {
            args a = {group, "x", "y", "z"};
            result r = runtool(a);
            EXPECT_EQ(1, r.status) << show(a);
            EXPECT_EQ("", r.out) << show(a);
            EXPECT_EQ(badoption(c), r.err) << show(a);
        }
    }
    // The first bad letter ends the run.
    EXPECT_EQ(badoption('x'), runtool({"-xq"}).err);
}

// A good letter alone leaves no operand, so the run ends in the usage line
// and nothing else: no letter of the table is taken for a bad one.
TEST_P(Frame, GoodLettersInEitherCase)
{
    std::string letters = t.letters;
    for (const char *p = t.letters; *p; p++)
        letters += char(*p - 'a' + 'A');
    for (char c : letters) {
        result r = runtool({std::string("-") + c});
        EXPECT_EQ(t.usage, r.err) << c;
    }
    result r = runtool({"-" + letters, "/" + letters});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(t.usage, r.err);
}

// A path before the first operand is an option group: t is a letter of every
// program, m of none.
TEST_P(Frame, SlashPathReadAsOptions)
{
    result r = runtool({"/tmp", "x", "y", "z"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(badoption('m'), r.err);
}

// --- the log file -----------------------------------------------------------

struct logcase {
    args a;
    const char *logname; // the file the run should have made or emptied
    bool opened;
};

// The log file is opened once an argument follows the options, also when the
// program then ends in usage for want of more; usage before that leaves it
// alone.  An existing one is emptied.
TEST_P(Frame, LogFileOpenedOnlyWhenAnOperandFollows)
{
    const logcase cases[] = {
        {{"-l", "log"}, "log", false},
        {{"-l"}, "log", false},
        {{"-l", "log", "x"}, "log", true},
        {{"-l", "log", "-h", "x"}, "log", false},
        {{"-l", "log", "-", "/"}, "log", false},        // empty groups
        {{"-l", "log", "-", "/", "x"}, "log", true},
        {{"-l", "log", "--"}, "log", false},
        {{"-l", "log", "--", "-x"}, "log", true},       // -x is an operand
        {{"-l", "log", "--", "--"}, "log", true},
        {{"-l", "first", "-l", "log", "x"}, "log", true}, // the last name wins
        {{"-ll", "first", "log", "x"}, "log", true},      // each l takes one
        {{"-l", "-v", "x"}, "-v", true},                  // whatever it begins with
        {{"-l", "*.log", "x"}, "stale.log", true},        // expanded like any argument
    };
    for (const logcase &k : cases) {
        scratch here;
        maketree(here.path, {file(k.logname, "stale\n")});
        result r = run(t.path, k.a, "", here.path);
        EXPECT_EQ(1, r.status) << show(k.a);
        EXPECT_EQ("", r.out) << show(k.a);
        EXPECT_EQ(t.usage, r.err) << show(k.a);
        EXPECT_EQ(k.opened ? "" : "stale\n", readlog(here / k.logname)) << show(k.a);
        EXPECT_FALSE(exists(here / "first")) << show(k.a);
    }
}

// The list tools need three operands: with fewer the log is made all the same.
TEST(FrameLog, ListToolsMakeTheLogBeforeTooFewOperands)
{
    for (const tool &t : {tools[2], tools[3]}) {
        scratch s;
        result r = run(t.path, {"-l", "log", "x", "y"}, "", s.path);
        EXPECT_EQ(1, r.status) << t.name;
        EXPECT_EQ(t.usage, r.err) << t.name;
        EXPECT_TRUE(exists(s / "log")) << t.name;
    }
}

TEST_P(Frame, MessagesGoToTheLogFile)
{
    result r = runtool(args{"-l", "log"} + refused());
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(refusal(), readlog(s / "log"));
}

// A log file that cannot be made is reported, and the run goes on with its
// messages on standard output.
TEST_P(Frame, UnopenableLogFile)
{
    result r = runtool(args{"-l", "nodir/log"} + refused());
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(std::string(t.name) + ": nodir/log: " + strerror(ENOENT) + "\n", r.err);
    EXPECT_EQ(refusal(), r.out);
}

// --- option groups, as the continuation shows them -------------------------

// Every spelling sets both v (the trace line) and i (the question).
TEST_P(Frame, GroupsSetEveryLetter)
{
    const args spellings[] = {
        {"-v-i"}, {"/v/i"}, {"-vi"}, {"/I/V"}, {"-V", "-I"}, {"-", "-iv", "/"},
        {"-v", "-i", "--"}, // -- ends the options and is consumed
    };
    for (const args &opts : spellings) {
        scratch here;
        maketransfer(here.path);
        std::string question = traceline.substr(0, traceline.size() - 1) + "? y/n/q: ";
        result r = run(t.path, opts + transfer, "y\n", here.path);
        EXPECT_EQ(0, r.status) << show(opts);
        EXPECT_EQ(question + traceline, r.out) << show(opts);
        EXPECT_EQ("", r.err) << show(opts);
        EXPECT_EQ("A", readfile(here / target)) << show(opts);
    }
}

TEST_P(Frame, LogLetterInAGroup)
{
    for (const char *group : {"-lv", "-vl", "/L/V"}) {
        scratch here;
        maketransfer(here.path);
        result r = run(t.path, args{group, "log"} + transfer, "", here.path);
        EXPECT_EQ(0, r.status) << group;
        EXPECT_EQ(traceline, r.out) << group;
        EXPECT_EQ("", r.err) << group;
        EXPECT_EQ("", readlog(here / "log")) << group;
    }
}

// Options stand only before the first operand: a later -v is an operand.
TEST_P(Frame, NoOptionsAfterTheFirstOperand)
{
    maketransfer(s.path);
    args a = t.listtool ? transfer + args{"-v"} : args{transfer[0], "-v"};
    result r = runtool(a);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_TRUE(exists(s / (t.listtool ? target : "-v")));
}

// Trace lines stay on standard output while the log takes the reports.
TEST(FrameStreams, TraceOnStdoutReportsInLog)
{
    for (const tool &t : {tools[0], tools[1]}) {
        scratch s;
        maketree(s.path, {file("a.txt", "A"), dir("dst")});
        result r = run(t.path, {"-v", "-l", "log", "a.txt", "missing.txt", "dst"}, "", s.path);
        EXPECT_EQ(1, r.status) << t.name;
        EXPECT_EQ("a.txt -> dst\\a.txt\n", r.out) << t.name;
        EXPECT_EQ("", r.err) << t.name;
        EXPECT_EQ(std::string(t.name) + ": error 2 missing.txt: " + systemtext(2, ENOENT),
                  readlog(s / "log"))
            << t.name;
    }
    for (const tool &t : {tools[2], tools[3]}) {
        scratch s;
        maketree(s.path, {file("old/a.txt", "A"), dir("new"),
                          file("moves", "           old/a.txt\n           other/b\n")});
        result r = run(t.path, {"-v", "-l", "log", "old", "new", "moves"}, "", s.path);
        EXPECT_EQ(1, r.status) << t.name;
        EXPECT_EQ("old/a.txt -> new/a.txt\n", r.out) << t.name;
        EXPECT_EQ("", r.err) << t.name;
        EXPECT_EQ("line 2 : not replace old -> new : \"other/b\"\n", readlog(s / "log"))
            << t.name;
    }
}

// --- wildcard expansion -----------------------------------------------------

// A pattern that matches nothing ends the run before any option is read: no
// log file, nothing transferred, and the message names the program as it
// was invoked.
TEST_P(Frame, ArgumentNotMatched)
{
    maketree(s.path, {file("a.txt", "A"), file("b.txt", "B"), dir("dst")});
    struct nomatch {
        args a;
        const char *pattern;
    };
    const nomatch cases[] = {
        {{"*.none"}, "*.none"},
        {{"-l", "log", "a.txt", "*.none", "dst"}, "*.none"},
        {{"-v", "*.txt", "*.none", "dst"}, "*.none"}, // earlier matches are dropped
        {{"-v?", "a.txt", "dst"}, "-v?"},             // only -? and /? are help
        {{"-?x", "a.txt", "dst"}, "-?x"},
        {{"nodir/*.txt", "dst"}, "nodir/*.txt"},
        {{"-l", "*.log", "a.txt", "dst"}, "*.log"},
    };
    tree before = snapshot(s.path);
    for (const nomatch &k : cases) {
        result r = runtool(k.a);
        EXPECT_EQ(1, r.status) << show(k.a);
        EXPECT_EQ("", r.out) << show(k.a);
        EXPECT_EQ(invokedas(t.path) + ": " + k.pattern + ": argument not matched.\n", r.err)
            << show(k.a);
    }
    EXPECT_EQ("", compare(before, snapshot(s.path), noatime));

    command c;
    c.program = t.path;
    c.argv0 = "renamed";
    c.args = {"*.none"};
    c.cwd = s.path;
    // Under Wine the loader starts the .exe by its path, which Windows
    // makes argv[0] of: still the name as invoked, not the built-in one.
    std::string invoked = underwine() ? invokedas(t.path) : "renamed";
    EXPECT_EQ(invoked + ": *.none: argument not matched.\n", run(c).err);
    // Once the options are read, messages carry the built-in name.
    c.args = {"-x"};
    EXPECT_EQ(badoption('x'), run(c).err);
}

// Expansion comes first, so a pattern in the place of an option becomes the
// option groups it matches.
TEST_P(Frame, PatternExpandsIntoOptions)
{
    maketree(s.path, {file("-vq")});
    result r = runtool({"-v*", "x", "y", "z"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(badoption('q'), r.err);
}

// A pattern that matches only "." and ".." adds nothing and says nothing.
TEST_P(Frame, PatternOfOnlyDotsAddsNothing)
{
    result r = runtool({"-l", "log", ".*"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(t.usage, r.err);
    EXPECT_FALSE(exists(s / "log")); // no operand was left
}

// The matches, in name order, joined to the pattern's directory part.
TEST(FrameExpansion, FileToolsTransferTheMatches)
{
    for (const tool &t : {tools[0], tools[1]}) {
        scratch s;
        maketree(s.path, {file("b.txt", "B"), file("a.txt", "A"), file("c.dat", "C"),
                          file("sub/d.txt", "D"), dir("dst")});
        result r = run(t.path, {"-v", "*.txt", "sub/*.txt", "dst"}, "", s.path);
        EXPECT_EQ(0, r.status) << t.name;
        EXPECT_EQ("a.txt -> dst\\a.txt\nb.txt -> dst\\b.txt\nsub\\d.txt -> dst\\d.txt\n", r.out)
            << t.name;
        EXPECT_EQ("", r.err) << t.name;
        tree dst = snapshot(s / "dst");
        EXPECT_EQ(4u, dst.size()) << t.name << "\n" << compare(dst, tree());
        EXPECT_EQ("A", dst["a.txt"].data) << t.name;
        EXPECT_EQ("B", dst["b.txt"].data) << t.name;
        EXPECT_EQ("D", dst["d.txt"].data) << t.name;
        EXPECT_TRUE(exists(s / "c.dat")) << t.name;
    }
}

TEST(FrameExpansion, ListToolsTakeTheListFromAPattern)
{
    for (const tool &t : {tools[2], tools[3]}) {
        scratch s;
        maketree(s.path, {file("old/a.txt", "A"), dir("new"),
                          file("moves.lst", "           old/a.txt\n")});
        result r = run(t.path, {"-v", "old", "new", "*.lst"}, "", s.path);
        EXPECT_EQ(0, r.status) << t.name;
        EXPECT_EQ("old/a.txt -> new/a.txt\n", r.out) << t.name;
        EXPECT_EQ("", r.err) << t.name;
        EXPECT_EQ("A", readfile(s / "new/a.txt")) << t.name;
    }
}

std::string toolname(const ::testing::TestParamInfo<tool> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Tools, Frame, ::testing::ValuesIn(tools), toolname);

} // namespace
