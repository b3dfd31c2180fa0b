// Faults that earlier tests leave out: a tree that changes while a program
// walks it (items removed, replaced or added between the listing and their
// transfer), the move-list programs on a full or read-only file system,
// and destinations that belong to someone else.  After each: status 1
// where something failed, a report for each failed item, every item that
// existed before still whole on one side or the other, and no temporary
// file left behind.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

#include "harness.h"

namespace {

const char *const shm = "/dev/shm";

// --- a program answered prompt by prompt -------------------------------------

// One prompt of a conversation: the text it must hold, what the test does
// to the tree while the program waits, and the answer.
struct turn {
    std::string holds;
    std::function<void()> act;
    std::string answer = "y\n";
};

const char promptend[] = "? y/n/q: ";

std::string readsome(int fd)
{
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) < 0 && errno == EINTR)
        ;
    return n > 0 ? std::string(buf, n) : std::string();
}

// Runs program with -i style prompts answered one at a time: a user who
// changes files while the program waits for an answer.  Prompts beyond
// the turns get end of input, which answers no.  The program ends by the
// watchdog's alarm should it hang.
result converse(const std::string &program, const std::vector<std::string> &args,
                const std::string &cwd, const std::vector<turn> &turns)
{
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);

    int in[2], out[2];
    EXPECT_EQ(0, pipe2(in, O_CLOEXEC));
    EXPECT_EQ(0, pipe2(out, O_CLOEXEC));
    FILE *errfile = tmpfile();
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(fileno(errfile), 2);
        if (chdir(cwd.c_str()) != 0)
            _exit(127);
        signal(SIGPIPE, SIG_DFL);
        alarm(120);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);

    result r;
    size_t seen = 0; // output up to here has had its prompt answered
    for (const turn &t : turns) {
        size_t at;
        while ((at = r.out.find(promptend, seen)) == std::string::npos) {
            std::string more = readsome(out[0]);
            if (more.empty())
                break;
            r.out += more;
        }
        if (at == std::string::npos) {
            ADD_FAILURE() << "no prompt holding \"" << t.holds << "\"; output:\n" << r.out;
            break;
        }
        std::string prompt = r.out.substr(seen, at + strlen(promptend) - seen);
        EXPECT_NE(std::string::npos, prompt.find(t.holds)) << prompt;
        seen = at + strlen(promptend);
        if (t.act)
            t.act();
        ssize_t n = write(in[1], t.answer.data(), t.answer.size());
        EXPECT_EQ(ssize_t(t.answer.size()), n);
    }
    close(in[1]);
    for (std::string more; !(more = readsome(out[0])).empty();)
        r.out += more;
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
        ;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    rewind(errfile);
    for (int c; (c = getc(errfile)) != EOF;)
        r.err += char(c);
    fclose(errfile);
    return r;
}

// Names of the temporary files a transfer makes beside its destination.
int temporaries(const std::string &root)
{
    int found = 0;
    for (const auto &named : snapshot(root)) {
        size_t slash = named.first.rfind('/');
        std::string last = named.first.substr(slash == std::string::npos ? 0 : slash + 1);
        found += last.compare(0, 5, ".ftmp") == 0;
    }
    return found;
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// --- items that vanish, change or appear during a walk ------------------------

// The source holds a, sub/inner and z.  Entries go last name first, each
// asked about under -i after the whole directory was listed, so what the
// test does at the prompt for z comes between the listing and the
// transfer of sub and a.
class ChangingTree : public ::testing::Test {
protected:
    scratch s;
    std::unique_ptr<scratch> there;
    std::string src; // the source tree, here or on the other file system

    void SetUp() override { SKIP_POSIX_ONLY("the tree is changed behind the program's back"); }

    void makesource(const std::string &root)
    {
        src = root + "/src";
        maketree(root, {file("src/a", "a\n"), file("src/sub/inner", "inner\n"),
                        file("src/z", "z\n")});
    }

    // The source on a second file system, so that relka moves piece by
    // piece and walks the tree as dupra does.
    bool makeremotesource()
    {
        if (!otherfs(shm))
            return false;
        there.reset(new scratch(shm));
        makesource(there->path);
        return true;
    }

    std::vector<turn> turns(std::function<void()> atz)
    {
        return {{"src -> ", nullptr}, {"src\\z -> ", atz}, {"src\\sub -> ", nullptr}};
    }
};

TEST_F(ChangingTree, FileRemovedBeforeItsCopy)
{
    makesource(s.path);
    std::vector<turn> t = turns([&] { ASSERT_EQ(0, unlink((src + "/a").c_str())); });
    t.push_back({"src\\sub\\inner -> ", nullptr});
    t.push_back({"src\\a -> ", nullptr});
    result r = converse(DUPRA_PATH, {"-i", "src", "copy"}, s.path, t);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_TRUE(contains(r.out, "dupra: error 2 mvfile2newfile() ")) << r.out;
    EXPECT_TRUE(contains(r.out, "\tsrc\\a -> copy\\a\n")) << r.out;
    EXPECT_EQ("z\n", readfile(s / "copy/z"));
    EXPECT_EQ("inner\n", readfile(s / "copy/sub/inner"));
    EXPECT_FALSE(exists(s / "copy/a"));
    EXPECT_EQ(0, temporaries(s / "copy"));
}

TEST_F(ChangingTree, FileRemovedBeforeItsMove)
{
    if (!makeremotesource())
        GTEST_SKIP() << shm << " is not a second file system";
    std::vector<turn> t = turns([&] { ASSERT_EQ(0, unlink((src + "/a").c_str())); });
    t.push_back({"src\\sub\\inner -> ", nullptr});
    t.push_back({"src\\a -> ", nullptr});
    result r = converse(RELKA_PATH, {"-i", "--", src, "dst"}, s.path, t);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_TRUE(contains(r.out, "relka: error 2 mvfile2newfile() ")) << r.out;
    EXPECT_EQ("z\n", readfile(s / "dst/z"));
    EXPECT_EQ("inner\n", readfile(s / "dst/sub/inner"));
    EXPECT_FALSE(exists(s / "dst/a"));
    EXPECT_FALSE(exists(src)) << "the emptied source stays";
    EXPECT_EQ(0, temporaries(s / "dst"));
}

// A directory replaced by a file after the listing: the copy cannot make
// a directory from a file and says so; the file is not copied as one.
TEST_F(ChangingTree, DirectoryReplacedByAFileBeforeItsCopy)
{
    makesource(s.path);
    auto replace = [&] {
        ASSERT_EQ(0, rename((src + "/sub").c_str(), (s / "saved").c_str()));
        writefile(src + "/sub", "now a file\n");
    };
    result r = converse(DUPRA_PATH, {"-i", "src", "copy"}, s.path, turns(replace));
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_TRUE(contains(r.out, "dupra: error 267 ")) << r.out;
    EXPECT_FALSE(exists(s / "copy/sub"));
    EXPECT_EQ("now a file\n", readfile(src + "/sub"));
    EXPECT_EQ("z\n", readfile(s / "copy/z"));
    EXPECT_EQ(0, temporaries(s / "copy"));
}

// Moved piece by piece, the item now standing at the listed name moves as
// what it is: nothing is lost and nothing is left half way.
TEST_F(ChangingTree, DirectoryReplacedByAFileBeforeItsMove)
{
    if (!makeremotesource())
        GTEST_SKIP() << shm << " is not a second file system";
    auto replace = [&] {
        ASSERT_EQ(0, rename((src + "/sub").c_str(), (there->path + "/saved").c_str()));
        writefile(src + "/sub", "now a file\n");
    };
    std::vector<turn> t = turns(replace);
    t.push_back({"src\\a -> ", nullptr});
    result r = converse(RELKA_PATH, {"-i", "--", src, "dst"}, s.path, t);
    EXPECT_EQ("", r.err);
    bool moved = exists(s / "dst/sub");
    EXPECT_NE(moved, exists(src + "/sub")) << "on exactly one side";
    EXPECT_EQ("now a file\n", readfile(moved ? s / "dst/sub" : src + "/sub"));
    EXPECT_EQ(moved ? 0 : 1, r.status) << r.out;
    EXPECT_EQ("inner\n", readfile(there->path + "/saved/inner"));
    EXPECT_EQ("z\n", readfile(s / "dst/z"));
    EXPECT_EQ("a\n", readfile(s / "dst/a"));
    EXPECT_EQ(0, temporaries(s / "dst"));
}

// An item that appears after the listing is not moved: it stays in the
// source directory, which therefore stays too.  That is no failure.
TEST_F(ChangingTree, ItemAddedDuringAMove)
{
    if (!makeremotesource())
        GTEST_SKIP() << shm << " is not a second file system";
    std::vector<turn> t = turns([&] { writefile(src + "/new", "new\n"); });
    t.push_back({"src\\sub\\inner -> ", nullptr});
    t.push_back({"src\\a -> ", nullptr});
    result r = converse(RELKA_PATH, {"-i", "--", src, "dst"}, s.path, t);
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ("", r.err);
    EXPECT_EQ("new\n", readfile(src + "/new"));
    EXPECT_FALSE(exists(s / "dst/new"));
    EXPECT_EQ("a\n", readfile(s / "dst/a"));
    EXPECT_EQ("z\n", readfile(s / "dst/z"));
    EXPECT_EQ("inner\n", readfile(s / "dst/sub/inner"));
}

// --- the move-list programs on a full or read-only file system -----------------

// A small tmpfs mounted for one test, unmounted whatever happens.
class mounted {
public:
    mounted(const std::string &where, const std::string &options) : path(where)
    {
        if (mkdir(where.c_str(), 0755) != 0)
            error = strerror(errno);
        else if (mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) != 0)
            error = strerror(errno);
    }
    ~mounted()
    {
        if (error.empty() && umount2(path.c_str(), 0) != 0)
            umount2(path.c_str(), MNT_DETACH);
    }
    mounted(const mounted &) = delete;
    mounted &operator=(const mounted &) = delete;

    bool readonly()
    {
        return mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

    const std::string path;
    std::string error; // empty once mounted
};

struct listprogram {
    const char *name;
    const char *path;
};
const listprogram listprograms[] = {{"barvo", BARVO_PATH}, {"barvik", BARVIK_PATH}};

std::string listline(bool isdir, const std::string &path)
{
    return std::string(isdir ? "<" : " ") + std::string(10, ' ') + path + "\n";
}

// Files of 300 KiB into 1 MiB: three fit, the others are reported one by
// one, and each file is whole on exactly one side.
TEST(ListFaults, DestinationFillsUp)
{
    SKIP_POSIX_ONLY("mounts");
    SKIP_UNLESS_ROOT();
    for (const listprogram &p : listprograms) {
        scratch s;
        mounted full(s / "new", "size=1m");
        ASSERT_EQ("", full.error);
        std::string list = listline(true, "old");
        for (int i = 1; i <= 6; i++) {
            std::string name = "old/f" + std::to_string(i);
            maketree(s.path, {file(name, std::string(300 * 1024, char('0' + i)))});
            list += listline(false, name);
        }
        writefile(s / "moves", list);
        tree before = snapshot(s / "old");
        result r = run(p.path, {"old", "new", "moves"}, "", s.path);
        EXPECT_EQ(1, r.status) << p.name;
        EXPECT_EQ("", r.err) << p.name;
        int stayed = 0;
        for (int i = 1; i <= 6; i++) {
            std::string name = "f" + std::to_string(i);
            bool here = exists(s / ("old/" + name));
            EXPECT_NE(here, exists(s / ("new/" + name))) << p.name << " " << name;
            EXPECT_EQ(before[name].data, readfile((here ? s / "old" : s / "new") + "/" + name));
            if (here) {
                stayed++;
                EXPECT_TRUE(contains(r.out, "\told\\" + name + " -> new\\" + name + "\n") ||
                            contains(r.out, "\told/" + name + " -> new/" + name + "\n"))
                    << p.name << " " << name << ": no report\n"
                    << r.out;
            }
        }
        EXPECT_EQ(3, stayed) << p.name;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\t'), stayed) << r.out;
        EXPECT_EQ(0, temporaries(s / "new")) << p.name;
    }
}

// Nothing can be made on a read-only mount: each line is reported, the
// run fails, and the sources stay.
TEST(ListFaults, ReadOnlyDestination)
{
    SKIP_POSIX_ONLY("mounts");
    SKIP_UNLESS_ROOT();
    for (const listprogram &p : listprograms) {
        scratch s;
        mounted ro(s / "new", "size=1m");
        ASSERT_EQ("", ro.error);
        maketree(s.path, {file("old/a.txt", "a\n"), file("old/sub/b.txt", "b\n")});
        maketree(s / "new", {file("a.txt", "old a\n")});
        ASSERT_TRUE(ro.readonly());
        writefile(s / "moves", listline(true, "old") + listline(false, "old/a.txt") +
                                   listline(true, "old/sub") + listline(false, "old/sub/b.txt"));
        tree source = snapshot(s / "old"), dest = snapshot(s / "new");
        result r = run(p.path, {"-y", "old", "new", "moves"}, "", s.path);
        EXPECT_EQ(1, r.status) << p.name;
        EXPECT_EQ("", r.err) << p.name;
        EXPECT_TRUE(contains(r.out, "error 19 ")) << r.out;
        EXPECT_TRUE(contains(r.out, "old/sub/b.txt")) << r.out;
        EXPECT_EQ("", compare(source, snapshot(s / "old"))) << p.name;
        EXPECT_EQ("", compare(dest, snapshot(s / "new"))) << p.name;
    }
}

// relka into a read-only mount, from another file system: nothing moves.
TEST(MoveFaults, ReadOnlyDestination)
{
    SKIP_POSIX_ONLY("mounts");
    SKIP_UNLESS_ROOT();
    scratch s;
    mounted ro(s / "ro", "size=1m");
    ASSERT_EQ("", ro.error);
    maketree(s.path, {file("a.txt", "a\n"), file("tree/b.txt", "b\n")});
    maketree(s / "ro", {file("a.txt", "old\n")});
    ASSERT_TRUE(ro.readonly());
    tree here = snapshot(s.path), dest = snapshot(s / "ro");
    result r = run(RELKA_PATH, {"-y", "a.txt", "tree", "ro"}, "", s.path);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_TRUE(contains(r.out, "relka: error 19 ")) << r.out;
    EXPECT_EQ("", compare(dest, snapshot(s / "ro")));
    tree after = snapshot(s.path);
    for (const char *name : {"a.txt", "tree", "tree/b.txt"})
        EXPECT_EQ(here[name].data, after[name].data) << name;
}

// --- destinations that belong to someone else ----------------------------------

// root's file in root's directory: an ordinary user may neither replace it
// nor put anything beside it.  Each refusal is reported; the file and the
// source stay as they were.
TEST(OthersDestination, RefusedAndUntouched)
{
    SKIP_POSIX_ONLY("POSIX users");
    SKIP_UNLESS_ROOT();
    struct usercase {
        const char *what;
        const char *program;
        std::vector<std::string> args;
    } cases[] = {
        {"copy onto it", DUPRA_PATH, {"-y", "mine/a.txt", "theirs/a.txt"}},
        {"copy beside it", DUPRA_PATH, {"mine/a.txt", "theirs/new.txt"}},
        {"copy a tree into it", DUPRA_PATH, {"mine", "theirs"}},
        {"move onto it", RELKA_PATH, {"-y", "mine/a.txt", "theirs/a.txt"}},
        {"move a tree into it", RELKA_PATH, {"mine", "theirs"}},
    };
    for (const usercase &k : cases) {
        scratch s;
        ASSERT_EQ(0, chmod(s.path.c_str(), 0755));
        maketree(s.path, {file("mine/a.txt", "mine\n"), file("theirs/a.txt", "theirs\n").mode(0666)});
        for (const char *mine : {"mine", "mine/a.txt"})
            ASSERT_EQ(0, chown((s / mine).c_str(), nobody().uid, nobody().gid));
        tree before = snapshot(s.path);
        command c;
        c.program = k.program;
        c.args = k.args;
        c.cwd = s.path;
        c.runas = nobody();
        result r = run(c);
        EXPECT_EQ(1, r.status) << k.what;
        EXPECT_EQ("", r.err) << k.what;
        EXPECT_TRUE(contains(r.out, ": error 5 ")) << k.what << "\n" << r.out;
        EXPECT_EQ("", compare(before, snapshot(s.path))) << k.what;
    }
}

} // namespace
