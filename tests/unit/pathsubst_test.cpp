// The move list's path substitution: the first occurrence of srcdir in a
// listed path is replaced by dstdir, and nothing else changes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "listmove/movelist.h"

namespace {

struct substcase {
    const char *from, *to, *name;
    const char *expected; // nullptr: from does not occur, no new path
};

TEST(Pathsubst, Table)
{
    const substcase cases[] = {
        // The text before the occurrence is kept.
        {"old", "new", "a\\old\\b", "a\\new\\b"},
        {"old", "new", "old\\b", "new\\b"},
        {"old", "new", "old", "new"},
        // Only the first occurrence is replaced.
        {"old", "new", "old\\old\\b", "new\\old\\b"},
        {"ab", "x", "aab", "ax"},
        // Bytes compared exactly: letter case counts, separators are not
        // told apart from other characters.
        {"old", "new", "OLD\\b", nullptr},
        {"old", "new", "Old\\b", nullptr},
        {"a\\b", "c", "a/b\\x", nullptr},
        {"old", "new", "ol\\d", nullptr},
        {"old", "new", "", nullptr},
        // An empty from is found at the start: the name goes below to.
        {"", "new\\", "a\\b", "new\\a\\b"},
        {"", "new", "a", "newa"},
        {"", "new", "", "new"},
        {"", "", "a", "a"},
        // An empty to removes the occurrence.
        {"old\\", "", "old\\a", "a"},
        {"\\old", "", "x\\old\\a", "x\\a"},
        // from is the whole name.
        {"C:\\src\\a.txt", "D:\\b.txt", "C:\\src\\a.txt", "D:\\b.txt"},
        {"a", "", "a", ""},
        // to longer and shorter than from.
        {"s", "a much longer text", "xsy", "xa much longer texty"},
        {"a long source", "s", "1a long source2", "1s2"},
        // to holds from: no second pass over the result.
        {"a", "aa", "a\\a", "aa\\a"},
        // Blanks belong to the text.
        {"old ", "new", "old \\b ", "new\\b "},
        // Bytes above 0x7f, valid UTF-8 or not, are plain bytes.
        {"\xc3\xa9t\xc3\xa9", "\xff", "x\\\xc3\xa9t\xc3\xa9\\y", "x\\\xff\\y"},
        {"\xe9", "e", "caf\xe9\\\xe9", "cafe\\\xe9"},
    };
    for (const substcase &c : cases) {
        char *got = pathsubst(c.from, c.to, c.name);
        std::string what = std::string("from \"") + c.from + "\" to \"" + c.to + "\" name \"" +
                           c.name + "\"";
        if (c.expected == nullptr) {
            EXPECT_EQ(nullptr, got) << what << " gave \"" << got << "\"";
        } else {
            EXPECT_STREQ(c.expected, got) << what;
        }
        free(got);
    }
}

TEST(Pathsubst, ArgumentsAreLeftAlone)
{
    char from[] = "old", to[] = "new", name[] = "a\\old\\b";
    char *got = pathsubst(from, to, name);
    EXPECT_STREQ("old", from);
    EXPECT_STREQ("new", to);
    EXPECT_STREQ("a\\old\\b", name);
    EXPECT_NE(name, got);
    free(got);
}

TEST(Pathsubst, LongName)
{
    // Move-list lines can be far longer than any fixed buffer.
    std::string name = std::string(5000, 'x') + "\\old\\" + std::string(5000, 'y');
    char *got = pathsubst("old", "new", name.c_str());
    ASSERT_NE(nullptr, got);
    EXPECT_EQ(std::string(5000, 'x') + "\\new\\" + std::string(5000, 'y'), got);
    free(got);
}

} // namespace
