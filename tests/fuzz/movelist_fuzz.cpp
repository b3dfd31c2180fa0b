// The move-list reader and pathsubst given any list and any srcdir and
// dstdir.  The transfers are stand-ins that only note what they were
// asked to do; that is compared with a plain model of how a list is read:
// DOS text (carriage returns dropped, Ctrl-Z ends it), the kind in column
// 1, the path from column 12, a line with a NUL byte in its path skipped,
// the first path without srcdir ending the run.
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/transfer.h"
#include "fuzz.h"
#include "listmove/movelist.h"

struct call {
    bool dir;
    std::string from, to;
    bool operator==(const call &o) const { return dir == o.dir && from == o.from && to == o.to; }
};
static std::vector<call> calls;

int mvdir2newdir(const char *from, const char *to)
{
    calls.push_back({true, from, to});
    return 0;
}

int mvfile2file(const char *from, const char *to)
{
    calls.push_back({false, from, to});
    return 0;
}

static int listfd = -1;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    listfd = memfd_create("movelist", 0);
    // The reports of the run are not what is checked here.
    FILE *quiet = freopen("/dev/null", "w", stdout);
    (void)quiet;
    return 0;
}

struct expected {
    std::vector<call> calls;
    int status = 0;
};

// The list as the model reads it.
static expected model(const std::string &from, const std::string &to, const std::string &list)
{
    expected e;
    std::string text = list.substr(0, list.find('\x1a'));
    std::string line;
    bool any = false;
    std::vector<std::string> lines;
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
            any = false;
            continue;
        }
        line += c;
        any = true;
    }
    if (any)
        lines.push_back(line);
    for (const std::string &l : lines) {
        std::string name = l.size() > 11 ? l.substr(11) : "";
        if (name.find('\0') != std::string::npos) {
            e.status = 1;
            continue;
        }
        size_t at = name.find(from);
        if (at == std::string::npos) {
            e.status = 1;
            break;
        }
        std::string newpath = name.substr(0, at) + to + name.substr(at + from.size());
        e.calls.push_back({!l.empty() && l[0] == '<', name, newpath});
    }
    return e;
}

// The input: a byte giving the lengths of srcdir and dstdir (up to 15
// bytes each), their bytes, then the list.  NUL bytes cannot stand in an
// argument, so they end srcdir and dstdir early.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || listfd < 0)
        return 0;
    size_t fromlen = data[0] & 15, tolen = data[0] >> 4;
    if (size < 1 + fromlen + tolen)
        return 0;
    std::string input(reinterpret_cast<const char *>(data), size);
    std::string from = input.substr(1, fromlen), to = input.substr(1 + fromlen, tolen);
    from = from.substr(0, from.find('\0'));
    to = to.substr(0, to.find('\0'));
    std::string list = input.substr(1 + fromlen + tolen);

    if (ftruncate(listfd, 0) != 0 || pwrite(listfd, list.data(), list.size(), 0) != ssize_t(list.size()))
        return 0;
    std::string listpath = "/proc/self/fd/" + std::to_string(listfd);
    std::vector<std::string> words = {"barvik", "--", from, to, listpath};
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);

    static const identity id = {"barvik", "move", "CDFILNRTVWYZ",
                                "usage: %s [-vidtynzfrw] [-l logfile] srcdir dstdir list\n"};
    calls.clear();
    int status = runmovelist(id, int(words.size()), argv.data());
    expected e = model(from, to, list);
    FUZZ_CHECK(status == e.status);
    FUZZ_CHECK(calls == e.calls);
    return 0;
}
