// Overwriting an existing file: the prompts and their answers on standard
// input, the standing answers given as options or typed, and confirmation
// under -i.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>

#include "dupra_support.h"

namespace {

const timespec srca = at(2011, 1, 2, 3, 4, 5, 111111111);
const timespec srcw = at(2010, 1, 2, 3, 4, 5, 222222222);
const timespec srcc = at(2009, 1, 2, 3, 4, 5, 333333300);
const timespec dsta = at(2021, 6, 7, 8, 9, 10, 444444444);
const timespec dstw = at(2020, 6, 7, 8, 9, 10, 555555555);
const timespec dstc = at(2019, 6, 7, 8, 9, 10, 666666600);

// The existing destination a case meets.
enum destination { writable, writableempty, readonly, readonlyempty };

bool isreadonly(destination d)
{
    return d == readonly || d == readonlyempty;
}

bool isempty(destination d)
{
    return d == writableempty || d == readonlyempty;
}

node destfile(const std::string &name, destination d)
{
    return file(name, isempty(d) ? "" : "old")
        .mode(isreadonly(d) ? 0444 : 0644)
        .times(dsta, dstw)
        .ctime(dstc);
}

class DupraPolicy : public dupratest {
protected:
    // Checks that `to` is now a copy of `from`, or else exactly as it was.
    void expectoutcome(bool overwritten, const std::string &from, const std::string &to,
                       const item &before, const std::string &what)
    {
        if (overwritten)
            EXPECT_EQ("", diffitems(s / from, s / to)) << what << ": not a copy of " << from;
        else
            EXPECT_EQ("", comparetrees(tree{{to, before}}, tree{{to, readitem(s / to)}}))
                << what << ": changed";
    }
};

// --- one file onto one existing file --------------------------------------

struct onefile {
    const char *what;
    std::vector<std::string> options;
    destination dest;
    std::string input;
    bool overwritten;
};

// What the policy writes for dst.txt: the line for writable files, the
// empty-file test, and the prompt that is asked (if any).
std::string expectedout(const onefile &k)
{
    const bool empty = isempty(k.dest);
    // Option letters count in either case.
    const auto has = [&](char letter) {
        for (const std::string &o : k.options)
            for (char c : o)
                if (tolower((unsigned char)c) == letter)
                    return true;
        return false;
    };
    std::string out;
    bool always, ifempty, never;
    std::string prompt;
    if (isreadonly(k.dest)) {
        always = has('f'), ifempty = has('w'), never = has('r');
        prompt = readonlyprompt("dst.txt");
    } else {
        out = overwiteline("dst.txt");
        always = has('y'), ifempty = has('z'), never = has('n');
        prompt = overwriteprompt("dst.txt");
    }
    if (always)
        return out;
    if (ifempty) {
        out += emptytestline("dst.txt", empty ? 0 : 3);
        if (empty)
            return out;
    }
    return never ? out : out + prompt;
}

TEST_F(DupraPolicy, OneFileOntoAnExistingFile)
{
    const std::string overlong(300, 'y');
    const onefile cases[] = {
        // Answers at the prompt for a writable file.
        {"Enter", {}, writable, "\n", true},
        {"carriage return", {}, writable, "\r\n", true},
        {"y", {}, writable, "y\n", true},
        {"Y", {}, writable, "Y\n", true},
        {"yes", {}, writable, "yes\n", true},
        {"n", {}, writable, "n\n", false},
        {"no", {}, writable, "no\n", false},
        {"q is no here", {}, writable, "q\n", false},
        {"a blank first is no", {}, writable, " y\n", false},
        {"another letter", {}, writable, "x\n", false},
        {"end of input", {}, writable, "", false},
        {"y without a line end", {}, writable, "y", true},
        {"an overlong yes", {}, writable, overlong + "\n", true},
        {"a", {}, writable, "a\n", true},
        {"u", {}, writable, "u\n", false},
        {"0 overwrites a file that is not empty", {}, writable, "0\n", true},
        {"0 onto an empty file", {}, writableempty, "0\n", true},
        // Standing answers given as options.
        {"-y", {"-y"}, writable, "", true},
        {"-Y", {"-Y"}, writable, "", true},
        {"-n", {"-n"}, writable, "", false},
        {"-y with -n", {"-yn"}, writable, "", true},
        {"-n with -y", {"-n", "-y"}, writable, "", true},
        {"-z, not empty, asks", {"-z"}, writable, "y\n", true},
        {"-z, not empty, declined", {"-z"}, writable, "n\n", false},
        {"-z, empty", {"-z"}, writableempty, "", true},
        {"-z with -n, not empty", {"-zn"}, writable, "", false},
        {"-z with -n, empty", {"-z", "-n"}, writableempty, "", true},
        {"-n, empty", {"-n"}, writableempty, "", false},
        {"-f does not answer for a writable file", {"-f"}, writable, "n\n", false},
        {"-r does not answer for a writable file", {"-r"}, writable, "y\n", true},
        {"-w does not answer for a writable file", {"-w"}, writableempty, "n\n", false},
        // The prompt for a read-only file.
        {"read-only, Enter", {}, readonly, "\n", true},
        {"read-only, y", {}, readonly, "y\n", true},
        {"read-only, n", {}, readonly, "n\n", false},
        {"read-only, q is no", {}, readonly, "q\n", false},
        {"read-only, end of input", {}, readonly, "", false},
        {"read-only, a", {}, readonly, "a\n", true},
        {"read-only, u", {}, readonly, "u\n", false},
        {"read-only, 0", {}, readonly, "0\n", true},
        {"read-only, -f", {"-f"}, readonly, "", true},
        {"read-only, -r", {"-r"}, readonly, "", false},
        {"read-only, -f with -r", {"-rf"}, readonly, "", true},
        {"read-only, -w, not empty", {"-w"}, readonly, "n\n", false},
        {"read-only, -w, empty", {"-w"}, readonlyempty, "", true},
        {"read-only, -w with -r, not empty", {"-wr"}, readonly, "", false},
        {"read-only, -w with -r, empty", {"-wr"}, readonlyempty, "", true},
        {"-y does not answer for a read-only file", {"-y"}, readonly, "n\n", false},
        {"-n does not answer for a read-only file", {"-n"}, readonly, "y\n", true},
        {"-z does not answer for a read-only file", {"-z"}, readonlyempty, "n\n", false},
    };
    for (const onefile &k : cases) {
        maketree(s.path, {file("src.txt", "new").times(srca, srcw).ctime(srcc),
                          destfile("dst.txt", k.dest)});
        item before = readitem(s / "dst.txt");
        std::vector<std::string> args = k.options;
        args.insert(args.end(), {"src.txt", "dst.txt"});
        result r = dupra(args, k.input);
        EXPECT_EQ(0, r.status) << k.what;
        EXPECT_EQ(expectedout(k), r.out) << k.what;
        EXPECT_EQ("", r.err) << k.what;
        expectoutcome(k.overwritten, "src.txt", "dst.txt", before, k.what);
        removetree(s / "dst.txt");
    }
}

// A declined read-only file keeps its read-only bit, and its record says so.
TEST_F(DupraPolicy, DeclinedReadOnlyFileKeepsItsAttributes)
{
    maketree(s.path, {file("src.txt", "new"), destfile("dst.txt", readonly)});
    result r = dupra({"src.txt", "dst.txt"}, "n\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(0444u, mode(s / "dst.txt"));
    EXPECT_EQ(0x21, dosattributes(s / "dst.txt"));
    EXPECT_EQ("old", readfile(s / "dst.txt"));
}

// An empty file that another process holds open cannot be opened without
// sharing, so it counts as not empty, and the question is asked.
TEST_F(DupraPolicy, EmptyFileHeldOpenElsewhereIsAskedFor)
{
    SKIP_POSIX_ONLY("the holder is a POSIX process, whose opens Wine's sharing check sees not");
    maketree(s.path, {file("src.txt", "new"), destfile("dst.txt", writableempty)});
    int held = open((s / "dst.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_LE(0, held);
    result r = dupra({"-z", "src.txt", "dst.txt"}, "n\n");
    close(held);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(overwiteline("dst.txt") + "file=dst.txt INVALID_HANDLE_VALUE \n" +
                  overwriteprompt("dst.txt"),
              r.out);
    EXPECT_EQ("", readfile(s / "dst.txt"));
}

// --- standing answers typed at a prompt -----------------------------------

// Four files copied into dst, where each already exists.
struct fourfiles {
    const char *what;
    destination dests[4];
    std::string input;
    std::string out;         // standard output, whole
    bool overwritten[4];
};

const char *const names[4] = {"a", "b", "c", "d"};

std::string ow(const char *name)
{
    return overwiteline(std::string("dst\\") + name);
}

std::string ask(const char *name)
{
    return ow(name) + overwriteprompt(std::string("dst\\") + name);
}

std::string askro(const char *name)
{
    return readonlyprompt(std::string("dst\\") + name);
}

std::string empty(const char *name, unsigned long size)
{
    return emptytestline(std::string("dst\\") + name, size);
}

TEST_F(DupraPolicy, AnswersThatHoldForTheRestOfTheRun)
{
    const destination w = writable, we = writableempty, ro = readonly;
    const std::string overlongno = std::string(300, 'n') + "\n";
    const fourfiles cases[] = {
        {"a: later writable files without asking", {w, w, w, w}, "a\n",
         ask("a") + ow("b") + ow("c") + ow("d"), {true, true, true, true}},
        {"u: later writable files never", {w, w, w, w}, "u\n",
         ask("a") + ow("b") + ow("c") + ow("d"), {false, false, false, false}},
        {"0: later empty files without asking, others asked", {w, we, w, we}, "0\nn\n",
         ask("a") + ow("b") + empty("b", 0) + ow("c") + empty("c", 3) +
             overwriteprompt("dst\\c") + ow("d") + empty("d", 0),
         {true, true, false, true}},
        {"a at one prompt does not answer the other", {w, ro, w, ro}, "a\nn\n",
         ask("a") + askro("b") + ow("c") + askro("d"), {true, false, true, false}},
        {"a at the read-only prompt holds for read-only files", {ro, w, ro, w}, "a\nn\n",
         askro("a") + ask("b") + ask("d"), {true, false, true, false}},
        {"u at the read-only prompt", {ro, ro, w, ro}, "u\ny\n",
         askro("a") + ask("c"), {false, false, true, false}},
        {"0 at the read-only prompt", {ro, readonlyempty, ro, w}, "0\nn\n",
         askro("a") + empty("b", 0) + empty("c", 3) + askro("c") + ask("d"),
         {true, true, false, false}},
        {"an earlier yes is not taken again at the end of input", {w, w, ro, w}, "y\n",
         ask("a") + ask("b") + askro("c") + ask("d"), {true, false, false, false}},
        {"the rest of an overlong line answers nothing", {w, w, w, w}, overlongno + "y\n",
         ask("a") + ask("b") + ask("c") + ask("d"), {false, true, false, false}},
        {"Enter, then end of input", {w, w, w, w}, "\n",
         ask("a") + ask("b") + ask("c") + ask("d"), {true, false, false, false}},
    };
    for (const fourfiles &k : cases) {
        tree before;
        for (int i = 0; i < 4; i++) {
            maketree(s.path, {file(names[i], std::string("new ") + names[i])
                                  .times(srca, srcw)
                                  .ctime(srcc),
                              destfile(std::string("dst/") + names[i], k.dests[i])});
            before[names[i]] = readitem(s / (std::string("dst/") + names[i]));
        }
        result r = dupra({"a", "b", "c", "d", "dst"}, k.input);
        EXPECT_EQ(0, r.status) << k.what;
        EXPECT_EQ(k.out, r.out) << k.what;
        EXPECT_EQ("", r.err) << k.what;
        for (int i = 0; i < 4; i++)
            expectoutcome(k.overwritten[i], names[i], std::string("dst/") + names[i],
                          before[names[i]], std::string(k.what) + ", " + names[i]);
        removetree(s / "dst");
    }
}

// --- confirmation under -i --------------------------------------------------

struct confirmation {
    const char *what;
    std::string input;
    bool copied;
    int status;
};

TEST_F(DupraPolicy, ConfirmOneFile)
{
    const confirmation cases[] = {
        {"y", "y\n", true, 0},
        {"Enter", "\n", true, 0},
        {"yes", "yes\n", true, 0},
        {"n", "n\n", false, 0},
        {"a is no here", "a\n", false, 0},
        {"end of input", "", false, 0},
        {"q ends the run", "q\n", false, 1},
        {"Q ends the run", "Q\n", false, 1},
    };
    maketree(s.path, {file("src.txt", "new").times(srca, srcw).ctime(srcc)});
    for (const confirmation &k : cases) {
        result r = dupra({"-i", "src.txt", "new.txt"}, k.input);
        EXPECT_EQ(k.status, r.status) << k.what;
        EXPECT_EQ(confirmprompt("src.txt", "new.txt"), r.out) << k.what;
        EXPECT_EQ("", r.err) << k.what;
        if (k.copied)
            EXPECT_EQ("", diffitems(s / "src.txt", s / "new.txt")) << k.what;
        else
            EXPECT_FALSE(exists(s / "new.txt")) << k.what;
        removetree(s / "new.txt");
    }
}

// Confirmed first, then put to the overwrite policy.
TEST_F(DupraPolicy, ConfirmThenOverwrite)
{
    maketree(s.path, {file("src.txt", "new").times(srca, srcw).ctime(srcc),
                      destfile("dst.txt", writable), destfile("ro.txt", readonly)});
    result r = dupra({"-i", "src.txt", "dst.txt"}, "y\ny\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(confirmprompt("src.txt", "dst.txt") + overwiteline("dst.txt") +
                  overwriteprompt("dst.txt"),
              r.out);
    EXPECT_EQ("", diffitems(s / "src.txt", s / "dst.txt"));

    item before = readitem(s / "ro.txt");
    r = dupra({"-i", "-f", "src.txt", "ro.txt"}, "n\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(confirmprompt("src.txt", "ro.txt"), r.out);
    expectoutcome(false, "src.txt", "ro.txt", before, "declined");
}

// q ends the run at once; what was copied before it stays.
TEST_F(DupraPolicy, QuitAmongSeveralKeepsWhatWasDone)
{
    maketree(s.path, {file("a", "alpha"), file("b", "bravo"), file("c", "charlie"), dir("dst")});
    result r = dupra({"-i", "a", "b", "c", "dst"}, "y\nq\ny\n");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(confirmprompt("a", "dst\\a") + confirmprompt("b", "dst\\b"), r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("", diffitems(s / "a", s / "dst/a"));
    EXPECT_FALSE(exists(s / "dst/b"));
    EXPECT_FALSE(exists(s / "dst/c"));
}

// A directory to a new name is asked for once, then each entry inside it,
// last name first.
class DupraConfirmTree : public DupraPolicy {
protected:
    void SetUp() override
    {
        maketree(s.path, {file("d/x", "x"), file("d/y", "y"), file("d/s/z", "z")});
    }
    std::string prompts(int count)
    {
        const std::string all[] = {
            confirmprompt("d", "e"),           confirmprompt("d\\y", "e\\y"),
            confirmprompt("d\\x", "e\\x"),     confirmprompt("d\\s", "e\\s"),
            confirmprompt("d\\s\\z", "e\\s\\z"),
        };
        std::string out;
        for (int i = 0; i < count; i++)
            out += all[i];
        return out;
    }
};

TEST_F(DupraConfirmTree, AllConfirmed)
{
    tree source = snapshot(s / "d");
    result r = dupra({"-i", "d", "e"}, "y\ny\ny\ny\ny\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(prompts(5), r.out);
    EXPECT_EQ("", comparetrees(source, snapshot(s / "e")));
}

TEST_F(DupraConfirmTree, DeclinedDirectoryIsNotEntered)
{
    result r = dupra({"-i", "d", "e"}, "y\nn\ny\nn\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(prompts(4), r.out);
    EXPECT_FALSE(exists(s / "e/y"));
    EXPECT_EQ("x", readfile(s / "e/x"));
    EXPECT_FALSE(exists(s / "e/s"));
}

TEST_F(DupraConfirmTree, DeclinedAtTheTopCopiesNothing)
{
    result r = dupra({"-i", "d", "e"}, "n\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(prompts(1), r.out);
    EXPECT_FALSE(exists(s / "e"));
}

TEST_F(DupraConfirmTree, QuitInsideKeepsWhatWasDone)
{
    result r = dupra({"-i", "d", "e"}, "y\ny\nq\n");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(prompts(3), r.out);
    EXPECT_EQ("y", readfile(s / "e/y"));
    EXPECT_FALSE(exists(s / "e/x"));
    EXPECT_FALSE(exists(s / "e/s"));
}

// An existing directory is copied into without a question of its own.
TEST_F(DupraConfirmTree, ExistingDirectoryIsNotAskedFor)
{
    maketree(s.path, {dir("dst/d/s")});
    result r = dupra({"-i", "d", "dst"}, "y\ny\ny\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(confirmprompt("d\\y", "dst\\d\\y") + confirmprompt("d\\x", "dst\\d\\x") +
                  confirmprompt("d\\s\\z", "dst\\d\\s\\z"),
              r.out);
    EXPECT_EQ("", comparetrees(snapshot(s / "d"), snapshot(s / "dst/d")));
}

} // namespace
