// Trees and names built to trip the programs up: links that loop or lead
// out of the tree, a directory of 100,000 entries, a tree 1,000 levels
// deep, paths longer than the system takes, and names with blanks,
// newlines, leading dashes, bytes that are not UTF-8 and wildcard
// characters.  Each item is copied or moved like any other, or its failure
// is reported; nothing crashes, nothing is lost, and nothing outside the
// tree is touched.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "harness.h"

extern char **environ;

namespace {

const char *const shm = "/dev/shm";

// compare() without the access times of links, which reading a link moves.
std::string samecontent(tree a, tree b, int leaveout = sameall)
{
    for (tree *t : {&a, &b})
        for (auto &named : *t)
            if (named.second.type == kind::link)
                named.second.atime = 0;
    return compare(a, b, leaveout);
}

// A program run in dir, with this process's environment plus `extra`.
result runin(const std::string &program, const std::vector<std::string> &args,
             const std::string &dir, const std::vector<std::string> &extra = {})
{
    command c;
    c.program = program;
    c.args = args;
    c.cwd = dir;
    if (!extra.empty()) {
        std::vector<std::string> env;
        for (char **e = environ; *e; e++)
            env.push_back(*e);
        env.insert(env.end(), extra.begin(), extra.end());
        c.env = env;
    }
    return run(c);
}

// --- trees walked relative to a descriptor, so any depth can be read -------

// Every item below dir by relative name: "<dir>" for a directory, "-> t"
// for a link, else the file's content.  Paths of any length.
void walkat(int dirfd, const std::string &rel, std::map<std::string, std::string> &out)
{
    int fd = openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *d = fd < 0 ? nullptr : fdopendir(fd);
    if (d == nullptr) {
        ADD_FAILURE() << "cannot list " << rel.substr(0, 80) << ": " << strerror(errno);
        return;
    }
    std::vector<std::string> names;
    while (dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    for (const std::string &n : names) {
        std::string sub = rel.empty() ? n : rel + "/" + n;
        struct stat st;
        if (fstatat(dirfd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            out[sub] = "<dir>";
            int down = openat(dirfd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (down >= 0) {
                walkat(down, sub, out);
                close(down);
            }
        } else if (S_ISLNK(st.st_mode)) {
            char target[PATH_MAX];
            ssize_t len = readlinkat(dirfd, n.c_str(), target, sizeof target);
            out[sub] = "-> " + std::string(target, len > 0 ? len : 0);
        } else {
            std::string data;
            int f = openat(dirfd, n.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            char buf[4096];
            ssize_t got;
            while (f >= 0 && (got = read(f, buf, sizeof buf)) > 0)
                data.append(buf, got);
            if (f >= 0)
                close(f);
            out[sub] = data;
        }
    }
    closedir(d);
}

std::map<std::string, std::string> walk(const std::string &root)
{
    std::map<std::string, std::string> out;
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return out; // gone: nothing there
    walkat(fd, "", out);
    close(fd);
    return out;
}

// Makes `levels` directories named `name`, one inside the other, below
// root, with a file at every level, going down by descriptor so that the
// depth has no limit.  Each file's content is its level.
void makedeep(const std::string &root, int levels, const std::string &name)
{
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << strerror(errno);
    for (int i = 0; i < levels; i++) {
        int f = openat(fd, "f", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        std::string content = std::to_string(i) + "\n";
        ASSERT_EQ(ssize_t(content.size()), write(f, content.data(), content.size()));
        close(f);
        ASSERT_EQ(0, mkdirat(fd, name.c_str(), 0755)) << strerror(errno);
        int down = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(down, 0) << strerror(errno);
        close(fd);
        fd = down;
    }
    close(fd);
}

bool hastemporary(const std::map<std::string, std::string> &t)
{
    for (const auto &named : t) {
        size_t slash = named.first.rfind('/');
        std::string last = named.first.substr(slash == std::string::npos ? 0 : slash + 1);
        if (last.compare(0, 5, ".ftmp") == 0)
            return true;
    }
    return false;
}

// --- links --------------------------------------------------------------------

// Links that loop, lead to the tree's own parent or root, or lead nowhere
// are items like any other: they arrive as links with their targets, no
// walk goes through them, and what they point at is left as it was.
class HostileLinks : public ::testing::Test {
protected:
    scratch s, outside;

    void SetUp() override { SKIP_POSIX_ONLY("symbolic links"); }

    void makesource(const std::string &root)
    {
        maketree(outside.path, {file("keep.txt", "outside\n"), dir("d")});
        maketree(root, {
            dir("src"),
            softlink("src/loop1", "loop2"),
            softlink("src/loop2", "loop1"),
            softlink("src/selfloop", "selfloop"),
            softlink("src/up", ".."),
            softlink("src/self", "."),
            softlink("src/sub/top", "../.."),
            softlink("src/sub/root", "/"),
            softlink("src/out", outside.path),
            softlink("src/outfile", outside.path + "/keep.txt"),
            softlink("src/dangling", "nowhere/at/all"),
            file("src/sub/a.txt", "a\n"),
        });
    }
};

TEST_F(HostileLinks, CopiedAsLinks)
{
    makesource(s.path);
    tree source = snapshot(s / "src"), before = snapshot(outside.path);
    result r = runin(DUPRA_PATH, {"src", "copy"}, s.path);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ("", samecontent(source, snapshot(s / "copy")));
    EXPECT_EQ("", compare(before, snapshot(outside.path)));
}

TEST_F(HostileLinks, MovedAsLinksAcrossFileSystems)
{
    SKIP_UNLESS_OTHERFS(shm);
    scratch there(shm);
    makesource(there.path);
    tree source = snapshot(there / "src"), before = snapshot(outside.path);
    result r = runin(RELKA_PATH, {"--", there / "src", "dst"}, s.path);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out + r.err);
    EXPECT_EQ("", samecontent(source, snapshot(s / "dst")));
    EXPECT_FALSE(exists(there / "src"));
    EXPECT_EQ("", compare(before, snapshot(outside.path)));
}

// --- size and depth -----------------------------------------------------------

TEST(HostileSize, HundredThousandEntries)
{
    SKIP_POSIX_ONLY("names, depths and times that POSIX file systems allow");
    // On tmpfs where there is one: the point is the size of the listing,
    // not the speed of a journal.
    scratch s(otherfs(shm) ? shm : "");
    const int count = 100000;
    ASSERT_EQ(0, mkdir((s / "big").c_str(), 0755));
    int fd = open((s / "big").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < count; i++) {
        // Each file holds its own name, so that a mix-up shows.
        std::string name = "e" + std::to_string(i);
        int f = openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(f, 0) << strerror(errno);
        ASSERT_EQ(ssize_t(name.size()), write(f, name.data(), name.size()));
        close(f);
    }
    close(fd);
    result r = runin(DUPRA_PATH, {"big", "copy"}, s.path);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out.substr(0, 2000) + r.err.substr(0, 2000));
    std::map<std::string, std::string> source = walk(s / "big"), copy = walk(s / "copy");
    EXPECT_EQ(size_t(count), copy.size());
    EXPECT_TRUE(source == copy) << "the copy differs from the source";
}

// 1,000 levels: every level copied, and moved to another file system, with
// its file and its times.
TEST(HostileDepth, ThousandLevels)
{
    SKIP_POSIX_ONLY("names, depths and times that POSIX file systems allow");
    scratch s;
    ASSERT_EQ(0, mkdir((s / "src").c_str(), 0755));
    makedeep(s / "src", 1000, "d");
    tree source = snapshot(s / "src");
    ASSERT_EQ(2001u, source.size());

    result r = runin(DUPRA_PATH, {"src", "copy"}, s.path);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out.substr(0, 2000) + r.err.substr(0, 2000));
    EXPECT_EQ("", compare(source, snapshot(s / "copy")).substr(0, 2000));

    if (!otherfs(shm))
        return;
    scratch there(shm);
    r = runin(RELKA_PATH, {"--", s / "copy", there / "moved"}, s.path);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out.substr(0, 2000) + r.err.substr(0, 2000));
    EXPECT_EQ("", compare(source, snapshot(there / "moved")).substr(0, 2000));
    EXPECT_FALSE(exists(s / "copy"));
}

// Paths longer than PATH_MAX: levels of 200-byte names, 6,000 bytes deep.
// The system refuses such paths: the copy goes as deep as it can, every
// refusal is reported, the run fails, and the source is untouched.
class HostileLongPaths : public ::testing::Test {
protected:
    scratch s;

    void SetUp() override { SKIP_POSIX_ONLY("POSIX path limits"); }
    const std::string name = std::string(200, 'n');
    const int levels = 30;

    void makesource(const std::string &root)
    {
        ASSERT_EQ(0, mkdir((root + "/src").c_str(), 0755));
        makedeep(root + "/src", levels, name);
    }
};

TEST_F(HostileLongPaths, CopyGoesAsDeepAsItCanAndReports)
{
    makesource(s.path);
    std::map<std::string, std::string> before = walk(s / "src");
    result r = runin(DUPRA_PATH, {"src", "copy"}, s.path);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_NE(std::string::npos, r.out.find("dupra: error 206 ")) << r.out.substr(0, 2000);
    EXPECT_TRUE(before == walk(s / "src")) << "the source changed";
    std::map<std::string, std::string> copy = walk(s / "copy");
    EXPECT_GT(copy.size(), 20u) << "the levels the system takes are copied";
    for (const auto &named : copy)
        EXPECT_EQ(before[named.first], named.second) << named.first.size();
    EXPECT_FALSE(hastemporary(copy));
}

// Moved piece by piece to another file system, each file is whole on
// exactly one side: copied and then removed, or left where it was.
TEST_F(HostileLongPaths, MoveLosesNothing)
{
    SKIP_UNLESS_OTHERFS(shm);
    scratch there(shm);
    makesource(there.path);
    std::map<std::string, std::string> before = walk(there / "src");
    result r = runin(RELKA_PATH, {"--", there / "src", "dst"}, s.path);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_NE(std::string::npos, r.out.find("relka: error 206 ")) << r.out.substr(0, 2000);
    std::map<std::string, std::string> left = walk(there / "src"), moved = walk(s / "dst");
    EXPECT_FALSE(hastemporary(left));
    EXPECT_FALSE(hastemporary(moved));
    EXPECT_GT(moved.size(), 20u);
    for (const auto &named : before) {
        if (named.second == "<dir>")
            continue;
        bool here = left.count(named.first) != 0, gone = moved.count(named.first) != 0;
        EXPECT_NE(here, gone) << "level " << named.first.size() / 201 << ": on both sides or none";
        EXPECT_EQ(named.second, here ? left[named.first] : moved[named.first]);
    }
}

// --- names --------------------------------------------------------------------

// Names that shells, option readers and pattern matchers stumble over are
// ordinary names here: a tree of them is copied and moved whole.
const char *const oddnames[] = {
    "with blank",  " leading blank", "trailing blank ", "new\nline",   "tab\there",
    "-dash",       "--",             "-",               "\xff\xfe",    "caf\xc3\xa9",
    "lone\xc3",    "star*",          "starx",           "question?",   "question!",
    "[set]",       "quote\"'",       "percent%s%n",     "semi;colon",  "back`tick",
};

void makeoddtree(const std::string &root)
{
    EXPECT_EQ(0, mkdir(root.c_str(), 0755));
    for (const char *n : oddnames) {
        std::string name = n;
        writefile(root + "/" + name, "file " + name);
        EXPECT_EQ(0, mkdir((root + "/dir " + name).c_str(), 0755));
        writefile(root + "/dir " + name + "/" + name, "inner " + name);
    }
}

struct localecase {
    const char *what;
    std::vector<std::string> env;
};

const localecase locales[] = {
    {"C locale", {}},
    {"UTF-8 locale", {"LC_ALL=C.UTF-8"}},
};

TEST(HostileNames, TreeOfOddNamesCopiedWhole)
{
    SKIP_POSIX_ONLY("names, depths and times that POSIX file systems allow");
    for (const localecase &l : locales) {
        scratch s;
        makeoddtree(s / "src");
        tree source = snapshot(s / "src");
        result r = runin(DUPRA_PATH, {"src", "copy"}, s.path, l.env);
        EXPECT_EQ(0, r.status) << l.what;
        EXPECT_EQ("", r.out + r.err) << l.what;
        EXPECT_EQ("", compare(source, snapshot(s / "copy"))) << l.what;
    }
}

TEST(HostileNames, TreeOfOddNamesMovedWhole)
{
    SKIP_POSIX_ONLY("names, depths and times that POSIX file systems allow");
    SKIP_UNLESS_OTHERFS(shm);
    for (const localecase &l : locales) {
        scratch s, there(shm);
        makeoddtree(there / "src");
        tree source = snapshot(there / "src");
        result r = runin(RELKA_PATH, {"--", there / "src", "dst"}, s.path, l.env);
        EXPECT_EQ(0, r.status) << l.what;
        EXPECT_EQ("", r.out + r.err) << l.what;
        EXPECT_EQ("", compare(source, snapshot(s / "dst"))) << l.what;
        EXPECT_FALSE(exists(there / "src")) << l.what;
    }
}

// A directory whose name ends in a byte that opens a UTF-8 character, with
// a directory of the same name inside it.  The separator after that byte
// is a separator all the same: were it taken for the rest of a character,
// the outer file would land on the inner one.
TEST(HostileNames, LoneLeadByteBeforeASeparator)
{
    SKIP_POSIX_ONLY("names, depths and times that POSIX file systems allow");
    SKIP_UNLESS_OTHERFS(shm);
    for (const localecase &l : locales) {
        scratch s, there(shm);
        maketree(there.path, {file("src/x\xc3/f", "outer"), file("src/x\xc3/x\xc3/f", "inner")});
        std::map<std::string, std::string> before = walk(there / "src");
        result r = runin(DUPRA_PATH, {"-y", "--", there / "src", "copy"}, s.path, l.env);
        EXPECT_EQ(0, r.status) << l.what;
        EXPECT_EQ("", r.out + r.err) << l.what;
        EXPECT_TRUE(before == walk(s / "copy")) << l.what;

        r = runin(RELKA_PATH, {"-y", "--", there / "src", "moved"}, s.path, l.env);
        EXPECT_EQ(0, r.status) << l.what;
        EXPECT_EQ("", r.out + r.err) << l.what;
        EXPECT_TRUE(before == walk(s / "moved")) << l.what << ": a file was lost";
    }
}

// Odd names given as operands: after "--" a leading dash is a name; a
// pattern stands for the names it matches, and a name holding '*' or '?'
// matches itself among them.
struct operandcase {
    const char *what;
    std::vector<std::string> args;
    std::vector<std::string> copied; // names that must arrive in "to"
};

TEST(HostileNames, AsOperands)
{
    SKIP_POSIX_ONLY("names, depths and times that POSIX file systems allow");
    const operandcase cases[] = {
        {"leading dash", {"--", "-dash", "to"}, {"-dash"}},
        {"double dash", {"--", "--", "to"}, {"--"}},
        {"newline", {"new\nline", "to"}, {"new\nline"}},
        {"bytes not UTF-8", {"\xff\xfe", "to"}, {"\xff\xfe"}},
        {"star matches itself and more", {"star*", "to"}, {"star*", "starx"}},
        {"question mark", {"question?", "to"}, {"question!", "question?"}},
    };
    for (const operandcase &k : cases) {
        scratch s;
        makeoddtree(s / "src");
        ASSERT_EQ(0, mkdir((s / "src/to").c_str(), 0755));
        result r = runin(DUPRA_PATH, k.args, s / "src");
        EXPECT_EQ(0, r.status) << k.what;
        EXPECT_EQ("", r.out + r.err) << k.what;
        std::map<std::string, std::string> to = walk(s / "src/to");
        EXPECT_EQ(k.copied.size(), to.size()) << k.what;
        for (const std::string &name : k.copied)
            EXPECT_EQ("file " + name, to[name]) << k.what;
    }
}

// --- times no file time holds --------------------------------------------------

// tmpfs keeps any 64-bit second.  A time beyond what the platform's file
// time holds is carried as far as it goes; the file itself arrives whole.
TEST(HostileTimes, SecondsAtTheEndOfTheRange)
{
    SKIP_POSIX_ONLY("names, depths and times that POSIX file systems allow");
    SKIP_UNLESS_OTHERFS(shm);
    scratch s, there(shm);
    const timespec far[] = {{INT64_MAX, 0}, {INT64_MAX / 2, 999999999}, {-(INT64_MAX / 2), 0}};
    int i = 0;
    for (const timespec &t : far) {
        std::string name = "far" + std::to_string(i++);
        writefile(there / name, name);
        timespec times[2] = {t, t};
        ASSERT_EQ(0, utimensat(AT_FDCWD, (there / name).c_str(), times, 0)) << strerror(errno);
        result r = runin(DUPRA_PATH, {"--", there / name, "copy-" + name}, s.path);
        EXPECT_EQ(0, r.status) << name;
        EXPECT_EQ("", r.out + r.err) << name;
        EXPECT_EQ(name, readfile(s / ("copy-" + name)));
    }
}

} // namespace
