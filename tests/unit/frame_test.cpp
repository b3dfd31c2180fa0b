// The frame's routines: the wildcard test, the expansion of patterns,
// allocation and the system-error report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/frame.h"
#include "common/paths.h"
#include "posixshim.h"

namespace {

TEST(Haswild, Table)
{
    struct {
        const char *arg;
        int expected;
    } cases[] = {
        {"-?", 0}, {"/?", 0}, {"-v?", 1}, {"?", 1},  {"*", 1},      {"a*b", 1},
        {"abc", 0}, {"", 0},  {"-", 0},   {"/??", 1}, {"x?/y", 1}, {"--?", 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(haswild(c.arg), c.expected) << c.arg;
}

TEST(Xalloc, GivesAtLeast64Bytes)
{
    char *p = (char *)xalloc(1);
    for (int i = 0; i < 64; i++)
        p[i] = (char)i; // would be caught by a sanitizer if the block were short
    free(p);
}

// The pattern's directory part joined with each match.
TEST(Expansion, NamesJoinTheDirectoryPart)
{
    struct {
        const char *pattern, *name, *expected;
    } cases[] = {
        {"*.txt", "a.txt", "a.txt"},          {"sub\\*.txt", "a.txt", "sub\\a.txt"},
        {"C:*.txt", "a.txt", "C:a.txt"},      {"C:\\*.txt", "a.txt", "C:\\a.txt"},
        {"\\*.txt", "a.txt", "\\a.txt"},      {"/*.txt", "a.txt", "\\a.txt"},
        {"/x/*.txt", "a.txt", "/x\\a.txt"},
    };
    for (const auto &c : cases) {
        ownedstr dir(pathhead(c.pattern));
        ownedstr joined(pathjoin(dir.get(), c.name));
        EXPECT_STREQ(joined.get(), c.expected) << c.pattern;
    }
}

class Expand : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/expandXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        root = dir;
        ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
        ASSERT_EQ(chdir(root.c_str()), 0);
        ASSERT_EQ(mkdir("sub", 0755), 0);
        ASSERT_EQ(mkdir("empty", 0755), 0);
        for (const char *f : {"b.txt", "a.txt", "c.dat", "sub/x.txt", "sub/y.txt"})
            close(open(f, O_CREAT | O_WRONLY, 0644));
    }
    void TearDown() override
    {
        chdir(saved);
        removetree(root);
    }
    std::vector<std::string> expand(std::vector<std::string> args, int *status)
    {
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        int n;
        char **out;
        *status = expandargs((int)args.size(), argv.data(), &n, &out);
        std::vector<std::string> result;
        if (*status == 0)
            for (int i = 0; i < n; i++)
                result.push_back(out[i]);
        return result;
    }
    std::string root;
    char saved[4096];
};

TEST_F(Expand, PatternsBecomeTheirMatchesInOrder)
{
    int status;
    auto args = expand({"dupra", "-v", "*.txt", "sub\\*.txt", "empty", "sub/?.txt"}, &status);
    ASSERT_EQ(status, 0);
    std::vector<std::string> expected = {"dupra", "-v", "a.txt", "b.txt", "sub\\x.txt",
                                         "sub\\y.txt", "empty", "sub\\x.txt", "sub\\y.txt"};
    EXPECT_EQ(args, expected);
}

TEST_F(Expand, NoPatternLeavesTheVectorAlone)
{
    std::string a0 = "dupra", a1 = "-?", a2 = "x";
    char *argv[] = {&a0[0], &a1[0], &a2[0], nullptr};
    int n;
    char **out;
    ASSERT_EQ(expandargs(3, argv, &n, &out), 0);
    EXPECT_EQ(out, argv);
    EXPECT_EQ(n, 3);
}

TEST_F(Expand, OnlyDotEntriesAddNothing)
{
    ASSERT_EQ(chdir("empty"), 0);
    int status;
    auto args = expand({"dupra", ".*", "x"}, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(args, (std::vector<std::string>{"dupra", "x"}));
}

TEST_F(Expand, UnmatchedPatternIsReported)
{
    cmdname = "./dupra";
    testing::internal::CaptureStderr();
    int status;
    expand({"./dupra", "*.txt", "*.none", "dst"}, &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "./dupra: *.none: argument not matched.\n");
}

TEST(Syserr, ReportsCodeCallerTextAndSystemText)
{
    progname = "dupra";
    FILE *out = tmpfile();
    ASSERT_NE(out, nullptr);
    msgout = out;
    ASSERT_EQ(GetFileAttributesA("/nonexistent-dir-for-test/x"), INVALID_FILE_ATTRIBUTES);
    syserr("%s: ", "x");
    msgout = stdout;
    rewind(out);
    char line[256] = {};
    ASSERT_NE(fgets(line, sizeof line, out), nullptr);
    fclose(out);
    EXPECT_EQ(lasterror, 3u);
#ifdef _WIN32
    // The system's own text, with its own CR LF; tmpfile is a binary stream.
    EXPECT_EQ(std::string(line), "dupra: error 3 x: Path not found.\r\n");
#else
    EXPECT_EQ(std::string(line), "dupra: error 3 x: No such file or directory\n");
#endif
}

} // namespace
