// Directory searches: FindFirstFileA and the run time's _findfirst over
// real directories: sorted names with . and .., wildcards, links as
// links, and the one-item search without wildcards.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <clocale>
#include <string>
#include <utility>
#include <vector>

#include "platform_scratch.h"

using namespace platformtest;

namespace {

typedef std::vector<std::pair<std::string, DWORD>> listing;

// All that a search yields, or the error when it fails at once.
listing findall(const std::string &pattern, DWORD *error)
{
    listing found;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);

    *error = 0;
    if (h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return found;
    }
    do
        found.emplace_back(data.cFileName, data.dwFileAttributes);
    while (FindNextFileA(h, &data));
    EXPECT_EQ(ERROR_NO_MORE_FILES, GetLastError());
    EXPECT_TRUE(FindClose(h));
    return found;
}

listing runtimeall(const std::string &pattern, int *err)
{
    listing found;
    struct _finddata_t data;
    intptr_t h = _findfirst(pattern.c_str(), &data);

    *err = 0;
    if (h == -1) {
        *err = errno;
        return found;
    }
    do
        found.emplace_back(data.name, data.attrib);
    while (_findnext(h, &data) == 0);
    EXPECT_EQ(ENOENT, errno);
    EXPECT_EQ(0, _findclose(h));
    return found;
}

std::vector<std::string> namesof(const listing &l)
{
    std::vector<std::string> names;
    for (const auto &e : l)
        names.push_back(e.first);
    return names;
}

class PlatformEnumeration : public ::testing::Test {
protected:
    scratch s;
    void SetUp() override
    {
        ASSERT_FALSE(s.path.empty());
        for (const char *name : {"b", "a", "B", "A.txt", "a.txt", "ab.c", ".hidden", "Z", "noext"})
            ASSERT_TRUE(writefile(s / name, name));
        ASSERT_TRUE(writefile(s / "ro", "", 0444));
        ASSERT_EQ(0, mkdir((s / "sub").c_str(), 0755));
        ASSERT_TRUE(writefile(s / "sub/inner", ""));
        ASSERT_EQ(0, symlink("sub", (s / "link").c_str()));
        ASSERT_EQ(0, symlink("nowhere", (s / "dangling").c_str()));
    }
};

TEST_F(PlatformEnumeration, WholeDirectorySortedWithDotEntries)
{
    DWORD error;
    listing all = findall(s / "*", &error);
    const listing expected = {
        {".", 0x10},      {"..", 0x10},   {".hidden", 0x20}, {"A.txt", 0x20},  {"B", 0x20},
        {"Z", 0x20},      {"a", 0x20},    {"a.txt", 0x20},   {"ab.c", 0x20},   {"b", 0x20},
        {"dangling", 0x420}, {"link", 0x420}, {"noext", 0x20}, {"ro", 0x21},   {"sub", 0x10},
    };
    EXPECT_EQ(expected, all);
    int err;
    EXPECT_EQ(expected, runtimeall(s / "*.*", &err));
    EXPECT_EQ(expected, runtimeall(s.path + "\\*.*", &err));
}

TEST_F(PlatformEnumeration, WildcardTable)
{
    typedef std::vector<std::string> names;
    DWORD error;
    const names every = namesof(findall(s / "*", &error));
    ASSERT_EQ(15u, every.size());
    const struct {
        const char *pattern;
        names expected;
    } cases[] = {
        {"*.*", every},
        {"a*", {"a", "a.txt", "ab.c"}},
        {"A*", {"A.txt"}},
        {"?", {".", "B", "Z", "a", "b"}},
        {"??", {"..", "ro"}},
        {"*.txt", {"A.txt", "a.txt"}},
        {"?.txt", {"A.txt", "a.txt"}},
        {"*b*", {"ab.c", "b", "sub"}},
        {"*.", {".", ".."}},
        {"a*c", {"ab.c"}},
        {"*t", {"A.txt", "a.txt", "noext"}},
        {"**x*", {"A.txt", "a.txt", "noext"}},
        {"a?", {}},
        {"a.??t", {"a.txt"}},
        {"a.?", {}},
        {"a.?x?", {"a.txt"}},
        {".*", {".", "..", ".hidden"}},
    };
    for (const auto &k : cases) {
        names found = namesof(findall(s / k.pattern, &error));
        EXPECT_EQ(k.expected, found) << k.pattern;
        EXPECT_EQ(k.expected.empty() ? ERROR_FILE_NOT_FOUND : 0u, error) << k.pattern;
        int err;
        EXPECT_EQ(k.expected, namesof(runtimeall(s / k.pattern, &err))) << k.pattern;
        EXPECT_EQ(k.expected.empty() ? ENOENT : 0, err) << k.pattern;
    }
}

// '?' stands for one character, however many bytes it takes.
TEST_F(PlatformEnumeration, QuestionMarkIsOneCharacter)
{
    ASSERT_TRUE(writefile(s / "x\xc3\xa9y", ""));
    std::string before = setlocale(LC_CTYPE, nullptr);
    if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr)
        GTEST_SKIP() << "no UTF-8 locale";
    DWORD error;
    EXPECT_EQ(std::vector<std::string>{"x\xc3\xa9y"}, namesof(findall(s / "x?y", &error)));
    EXPECT_EQ(std::vector<std::string>{}, namesof(findall(s / "x??y", &error)));
    setlocale(LC_CTYPE, before.c_str());
}

// Without wildcards the one item is yielded under the name given, as lstat
// sees it.
TEST_F(PlatformEnumeration, OneItemWithoutWildcards)
{
    const struct {
        const char *pattern;
        const char *name;
        DWORD attrib;
    } cases[] = {
        {"a.txt", "a.txt", 0x20}, {"./sub/inner", "inner", 0x20}, {"sub\\inner", "inner", 0x20},
        {"sub", "sub", 0x10},     {"link", "link", 0x420},        {"dangling", "dangling", 0x420},
        {"ro", "ro", 0x21},       {"sub/..", "..", 0x10},
    };
    for (const auto &k : cases) {
        DWORD error;
        listing found = findall(s / k.pattern, &error);
        EXPECT_EQ((listing{{k.name, k.attrib}}), found) << k.pattern;
        int err;
        EXPECT_EQ((listing{{k.name, k.attrib}}), runtimeall(s / k.pattern, &err)) << k.pattern;
    }
}

TEST_F(PlatformEnumeration, SearchesThatFail)
{
    const struct {
        const char *pattern;
        DWORD code;
        int err;
    } cases[] = {
        {"missing", ERROR_FILE_NOT_FOUND, ENOENT},
        {"sub/", ERROR_FILE_NOT_FOUND, ENOENT},
        {"sub\\", ERROR_FILE_NOT_FOUND, ENOENT},
        {"nodir/missing", ERROR_PATH_NOT_FOUND, ENOENT},
        {"nodir/*", ERROR_PATH_NOT_FOUND, ENOENT},
        {"a/*", ERROR_DIRECTORY, ENOTDIR},
        {"nothing*", ERROR_FILE_NOT_FOUND, ENOENT},
    };
    for (const auto &k : cases) {
        DWORD error;
        EXPECT_TRUE(findall(s / k.pattern, &error).empty()) << k.pattern;
        EXPECT_EQ(k.code, error) << k.pattern;
        int err;
        EXPECT_TRUE(runtimeall(s / k.pattern, &err).empty()) << k.pattern;
        EXPECT_EQ(k.err, err) << k.pattern;
    }
}

// A directory that may not be read: the run time's search fails with the
// system's errno, which the tree walks report.
TEST_F(PlatformEnumeration, UnreadableDirectory)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ASSERT_EQ(0, chmod(s.path.c_str(), 0755));
    ASSERT_EQ(0, chmod((s / "sub").c_str(), 0311));
    std::string pattern = s / "sub/*.*";
    long long err = asnobody([&] {
        struct _finddata_t data;
        return _findfirst(pattern.c_str(), &data) == -1 ? static_cast<long long>(errno) : 0LL;
    });
    EXPECT_EQ(EACCES, err);
}

// Entries whose details cannot be read are still yielded, by their kind.
TEST_F(PlatformEnumeration, ListableButNotSearchable)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ASSERT_EQ(0, chmod(s.path.c_str(), 0755));
    ASSERT_EQ(0, mkdir((s / "sub/deeper").c_str(), 0755));
    ASSERT_EQ(0, chmod((s / "sub").c_str(), 0744));
    std::string pattern = s / "sub/*";
    long long seen = asnobody([&] {
        struct _finddata_t data;
        long long bits = 0;
        intptr_t h = _findfirst(pattern.c_str(), &data);
        if (h == -1)
            return -static_cast<long long>(errno);
        do {
            if (std::string(data.name) == "deeper" && data.attrib == 0x10)
                bits |= 1;
            if (std::string(data.name) == "inner" && data.attrib == 0x20)
                bits |= 2;
        } while (_findnext(h, &data) == 0);
        _findclose(h);
        return bits;
    });
    EXPECT_EQ(3, seen);
}

TEST_F(PlatformEnumeration, BadHandles)
{
    WIN32_FIND_DATAA data;
    EXPECT_FALSE(FindNextFileA(INVALID_HANDLE_VALUE, &data));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_FALSE(FindClose(nullptr));
    struct _finddata_t fd;
    EXPECT_EQ(-1, _findnext(-1, &fd));
    EXPECT_EQ(-1, _findclose(0));
}

// The times a search gives are those of the item itself.
TEST_F(PlatformEnumeration, TimesOfEntries)
{
    ASSERT_TRUE(settimes(s / "a", ts(1000000000, 5), ts(1000000001, 123456789)));
    ASSERT_TRUE(settimes(s / "link", ts(1200000000, 0), ts(1200000001, 7)));
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((s / "l?nk").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FindClose(h);
    WIN32_FILE_ATTRIBUTE_DATA attr;
    uint64_t units = (1200000001ull + 11644473600ull) * 10000000;
    EXPECT_EQ(static_cast<DWORD>(units), data.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(7u, data.ftLastWriteTime.dwNanoseconds);

    h = FindFirstFileA((s / "a").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FindClose(h);
    ASSERT_TRUE(GetFileAttributesExA((s / "a").c_str(), GetFileExInfoStandard, &attr));
    EXPECT_EQ(0, CompareFileTime(&attr.ftLastWriteTime, &data.ftLastWriteTime));
    EXPECT_EQ(0, CompareFileTime(&attr.ftLastAccessTime, &data.ftLastAccessTime));
    EXPECT_EQ(0, CompareFileTime(&attr.ftCreationTime, &data.ftCreationTime));
    EXPECT_EQ(1u, data.nFileSizeLow);
}

// Listing a directory leaves its access time alone.
TEST_F(PlatformEnumeration, ListingKeepsTheAccessTime)
{
    ASSERT_TRUE(settimes(s / "sub", ts(1000000000, 1), ts(1500000000, 2)));
    int err;
    EXPECT_EQ(3u, runtimeall(s / "sub/*.*", &err).size());
    EXPECT_TRUE(sametime(ts(1000000000, 1), lstatof(s / "sub").st_atim));
}

} // namespace
