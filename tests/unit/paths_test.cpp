// Path names: the tables of pathtail, pathhead and pathjoin, and fullpath
// against real files.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "common/frame.h"
#include "common/paths.h"
#include "posixshim.h"

namespace {

std::string take(char *s)
{
    std::string r = s;
    free(s);
    return r;
}

struct pathcase {
    const char *path;
    const char *expected;
};

TEST(Pathtail, Table)
{
    const pathcase cases[] = {
        {"C:\\dir\\a.txt", "a.txt"}, {"C:a.txt", "a.txt"}, {"dir/a.txt", "a.txt"},
        {"\\\\server", "server"},    {"dir\\", ""},        {"C:", ""},
        {"a.txt", "a.txt"},          {"", ""},             {"/", ""},
        {"//server", "server"}, {"C:\\", ""},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(pathtail(c.path), c.expected) << c.path;
}

TEST(Pathhead, Table)
{
    const pathcase cases[] = {
        {"C:\\dir\\*.txt", "C:\\dir"},
        {"C:\\*.txt", "C:\\"},
        {"C:*.txt", "C:"},
        {"*.txt", ""},
        {"\\*.txt", "\\"},
        {"/x/*.txt", "/x"},
        {"\\\\server\\share\\dir", "\\\\server\\share"},
        {"\\\\server\\share", "\\\\server"},
        {"\\\\server", "\\\\"},
        {"a\\b\\", "a\\b"},
        {"//server", "//"},
        {"\\/x", "\\/"},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(take(pathhead(c.path)), c.expected) << c.path;
}

TEST(Pathjoin, Table)
{
    struct joincase {
        const char *dir, *name, *expected;
    } cases[] = {
        {"\\", "n", "\\n"},   {"/", "n", "\\n"},        {"C:", "n", "C:n"},
        {"C:\\", "n", "C:\\n"}, {"C:/", "n", "C:/n"},   {"", "n", "n"},
        {"dir", "n", "dir\\n"}, {"a\\", "n", "a\\\\n"}, {"\\\\", "n", "\\\\\\n"},
        {"/x", "a.txt", "/x\\a.txt"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(take(pathjoin(c.dir, c.name)), c.expected) << c.dir << " + " << c.name;
}

TEST(Pathjoin, HeadAndTailOfABareNameGiveTheNameBack)
{
    ownedstr head(pathhead("name"));
    EXPECT_EQ(take(pathjoin(head.get(), pathtail("name"))), "name");
}

// In a double-byte code page the second byte of a character may be '\'
// (0x5C).  Such a character never splits a path.
class DoubleByte : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        GTEST_SKIP() << "on Windows the lead-byte test follows the system's ANSI code page, "
                        "which a test cannot switch";
#endif
        char dir[] = "/tmp/localeXXXXXX";
        if (mkdtemp(dir) == nullptr)
            GTEST_SKIP() << "no scratch directory";
        localedir = dir;
        std::string make = "localedef -i zh_CN -f GBK " + localedir + "/zh_CN.GBK >/dev/null 2>&1";
        if (system(make.c_str()) != 0)
            GTEST_SKIP() << "cannot build a GBK locale (localedef)";
        setenv("LOCPATH", localedir.c_str(), 1);
        if (setlocale(LC_CTYPE, "zh_CN.GBK") == nullptr)
            GTEST_SKIP() << "GBK locale not usable";
    }
    void TearDown() override
    {
        setlocale(LC_CTYPE, "C");
        unsetenv("LOCPATH");
        if (!localedir.empty())
            removetree(localedir);
    }
    std::string localedir;
};

TEST_F(DoubleByte, SecondByteIsNoSeparator)
{
    // 0x81 0x5C is one GBK character whose second byte has the value of '\'.
    const std::string name = "a\x81\x5c" "b";
    const std::string path = "dir\\" + name;
    EXPECT_EQ(pathtail(path.c_str()), name);
    EXPECT_EQ(take(pathhead(path.c_str())), "dir");
    EXPECT_EQ(take(pathhead(name.c_str())), "");
    const std::string wild = "x\x81\x3f"; // second byte '?'
    EXPECT_EQ(haswild(wild.c_str()), 0);
    EXPECT_EQ(haswild((wild + "*").c_str()), 1);
}

class Fullpath : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/fullpathXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        root = dir;
        char *real = realpath(dir, nullptr);
        physical = real;
        free(real);
        ASSERT_EQ(mkdir((root + "/dir").c_str(), 0755), 0);
#ifndef _WIN32
        ASSERT_EQ(symlink("dir", (root + "/link").c_str()), 0);
#endif
        ASSERT_EQ(getcwd(saved, sizeof saved) != nullptr, true);
        ASSERT_EQ(chdir(root.c_str()), 0);
    }
    void TearDown() override
    {
        chdir(saved);
        removetree(root);
    }
    std::string win(const std::string &posix)
    {
        std::string w = posix;
        for (char &c : w)
            if (c == '/')
                c = '\\';
        return w;
    }
    std::string root, physical;
    char saved[4096];
};

TEST_F(Fullpath, SpellingsOfOneItemAgree)
{
    const std::string expected = win(physical + "/dir");
    const char *spellings[] = {"dir", "./dir", "dir/../dir", "dir\\."};
    for (const char *s : spellings)
        EXPECT_EQ(take(fullpath(s)), expected) << s;
#ifndef _WIN32
    // A link is resolved physically (making one needs a privilege on Windows).
    EXPECT_EQ(take(fullpath("link")), expected);
    EXPECT_EQ(take(fullpath("link/.")), expected);
#endif
}

TEST_F(Fullpath, MissingItemsAndTrailingSeparators)
{
    EXPECT_EQ(take(fullpath("nothere")), win(physical + "/nothere"));
#ifndef _WIN32
    EXPECT_EQ(take(fullpath("link/nothere/x")), win(physical + "/dir/nothere/x"));
#endif
    EXPECT_EQ(take(fullpath("dir/")), win(physical + "/dir/"));
    EXPECT_EQ(take(fullpath("")), "");
    EXPECT_EQ(take(fullpath(nullptr)), "");
#ifdef _WIN32
    EXPECT_EQ(take(fullpath("/")), physical.substr(0, 2) + "\\"); // the current drive's root
#else
    EXPECT_EQ(take(fullpath("/")), "\\");
#endif
}

TEST_F(Fullpath, LongerThanTheSystemLimit)
{
#ifdef _WIN32
    GTEST_SKIP() << "a Windows current directory cannot be longer than MAX_PATH";
#endif
    // The current directory alone is longer than PATH_MAX, so the full path
    // of a short name is far longer than the buffer's first guess.
    std::string deep = physical;
    for (int i = 0; i < 50; i++) {
        std::string name(100, 'a' + i % 26);
        ASSERT_EQ(mkdir(name.c_str(), 0755), 0);
        ASSERT_EQ(chdir(name.c_str()), 0);
        deep += "/" + name;
    }
    EXPECT_EQ(take(fullpath("x")), win(deep + "/x"));
    EXPECT_EQ(take(fullpath(".")), win(deep));
}

} // namespace
