// The path routines given any bytes: pathtail, pathhead and pathjoin never
// read or write outside their strings, and what they give keeps to what
// they promise.  Run in the C locale, where no byte opens a double-byte
// character, so every '\' and '/' separates.
#include <cstring>
#include <string>

#include "common/frame.h"
#include "common/paths.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

static bool issep(char c)
{
    return c == '\\' || c == '/';
}

static void checktail(const std::string &path)
{
    const char *tail = pathtail(path.c_str());
    FUZZ_CHECK(tail >= path.c_str() && tail <= path.c_str() + path.size());
    // The tail is one component: nothing after it separates.
    for (const char *p = tail; *p; p++)
        FUZZ_CHECK(!issep(*p));
    // It starts after a separator, after the prefix, or at the start.
    size_t at = tail - path.c_str();
    FUZZ_CHECK(at == 0 || issep(path[at - 1]) || (at == 2 && path[1] == ':'));
}

static void checkhead(const std::string &path)
{
    ownedstr head(pathhead(path.c_str()));
    size_t n = strlen(head.get());
    // The head is the path cut short, and never cut inside the last
    // component: only separators or a prefix lie between it and the tail.
    FUZZ_CHECK(n <= path.size());
    FUZZ_CHECK(path.compare(0, n, head.get()) == 0);
    const char *tail = pathtail(path.c_str());
    FUZZ_CHECK(n <= size_t(tail - path.c_str()));
}

static void checkjoin(const std::string &dir, const std::string &name)
{
    ownedstr joined(pathjoin(dir.c_str(), name.c_str()));
    std::string j = joined.get();
    // The name comes last, whole, and at most one separator is added.
    FUZZ_CHECK(j.size() >= name.size());
    FUZZ_CHECK(j.compare(j.size() - name.size(), name.size(), name) == 0);
    FUZZ_CHECK(j.size() <= dir.size() + name.size() + 1);
    // What stands before it is the directory part as given, or '\' for a
    // root.
    std::string before = j.substr(0, j.size() - name.size());
    FUZZ_CHECK(before == dir || before == dir + "\\" || (dir.size() == 1 && before == "\\"));
    // Joined to a name without separators, the tail gives the name back.
    if (!name.empty() && name.find_first_of("\\/") == std::string::npos &&
        !(dir.empty() && name.size() >= 2 && name[1] == ':'))
        FUZZ_CHECK(std::string(pathtail(j.c_str())) == name ||
                   (j.size() >= 2 && j[0] == '\\' && j[1] == '\\'));
}

// The input is a path, or a directory part and a name split at the first
// NUL byte.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t nul = input.find('\0');
    std::string first = input.substr(0, nul);
    std::string second = nul == std::string::npos ? "" : input.substr(nul + 1);
    second = second.substr(0, second.find('\0'));

    checktail(first);
    checkhead(first);
    checkjoin(first, second);
    return 0;
}
