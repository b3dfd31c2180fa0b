// The demo's helper: shows the three times and the read-only state of each
// item of a tree beside those of its copies, and stamps a tree with given
// times.  It reads and writes the creation-time record itself, so that what
// it shows does not depend on the code it demonstrates.
//
//   showtimes LABEL=DIR LABEL=DIR...   one block per item of the first tree
//   showtimes stamp DIR < list         lines: item created accessed written [ro]
//
// Times are UTC, written 2003-04-05T06:07:08.123456789.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

static const char recordname[] = "user.DOSATTRIB";
static const int64_t epochdiff = 11644473600; // seconds from 1601 to 1970

struct when {
    bool known = false;
    int64_t sec = 0;
    uint32_t nsec = 0;
};

struct itemstate {
    bool exists = false;
    bool readonly = false;
    bool hasrecord = false; // creation time from the record, else birth time
    when written, accessed, created;
};

static bool sametime(const when &a, const when &b)
{
    return a.known == b.known && a.sec == b.sec && a.nsec == b.nsec;
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
static int64_t daysfromcivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = (unsigned)(y - era * 400);
    unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (int64_t)doe - 719468;
}

static void civilfromdays(int64_t z, int64_t *y, unsigned *m, unsigned *d)
{
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = (unsigned)(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = (int64_t)yoe + era * 400 + (*m <= 2);
}

static bool parsetime(const std::string &text, when *t)
{
    int y;
    unsigned mo, d, h, mi, s;
    int used = 0;
    if (sscanf(text.c_str(), "%d-%u-%uT%u:%u:%u%n", &y, &mo, &d, &h, &mi, &s, &used) != 6)
        return false;
    uint32_t nsec = 0;
    size_t i = used;
    if (i < text.size() && text[i] == '.') {
        int digits = 0;
        for (i++; i < text.size() && isdigit((unsigned char)text[i]) && digits < 9; i++, digits++)
            nsec = nsec * 10 + (text[i] - '0');
        for (; digits < 9; digits++)
            nsec *= 10;
    }
    if (i != text.size())
        return false;
    t->known = true;
    t->sec = daysfromcivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    t->nsec = nsec;
    return true;
}

static std::string showtime(const when &t)
{
    if (!t.known)
        return "-";
    int64_t days = t.sec >= 0 ? t.sec / 86400 : -((-t.sec + 86399) / 86400);
    int64_t rest = t.sec - days * 86400;
    int64_t y;
    unsigned m, d;
    civilfromdays(days, &y, &m, &d);
    char buf[64];
    snprintf(buf, sizeof buf, "%04" PRId64 "-%02u-%02u %02u:%02u:%02u.%09u", y, m, d,
             (unsigned)(rest / 3600), (unsigned)(rest / 60 % 60), (unsigned)(rest % 60),
             (unsigned)t.nsec);
    return buf;
}

// The record: an empty string padded to two bytes, u16 version, u32
// version, u32 valid flags, u32 attributes, u64 creation time in 100 ns
// units since 1601, all little-endian.  Only version 5 is read here.
static uint64_t getle(const unsigned char *p, int n)
{
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

static void putle(unsigned char *p, int n, uint64_t v)
{
    for (int i = 0; i < n; i++, v >>= 8)
        p[i] = (unsigned char)v;
}

static bool readrecord(const std::string &path, when *created)
{
    unsigned char blob[256];
    ssize_t n = lgetxattr(path.c_str(), recordname, blob, sizeof blob);
    if (n < 24 || getle(blob + 2, 2) != 5 || getle(blob + 4, 4) != 5)
        return false;
    if (!(getle(blob + 8, 4) & 0x10)) // no valid creation time
        return false;
    uint64_t ticks = getle(blob + 16, 8);
    created->known = true;
    created->sec = (int64_t)(ticks / 10000000) - epochdiff;
    created->nsec = (uint32_t)(ticks % 10000000) * 100;
    return true;
}

static bool writerecord(const std::string &path, bool isdir, bool readonly, const when &created)
{
    unsigned char blob[24] = {0};
    putle(blob + 2, 2, 5);
    putle(blob + 4, 4, 5);
    putle(blob + 8, 4, 0x11); // attributes and creation time are valid
    putle(blob + 12, 4, (isdir ? 0x10 : 0x20) | (readonly ? 0x1 : 0));
    uint64_t ticks = (uint64_t)(created.sec + epochdiff) * 10000000 + created.nsec / 100;
    putle(blob + 16, 8, ticks);
    return lsetxattr(path.c_str(), recordname, blob, sizeof blob, 0) == 0;
}

static itemstate readitem(const std::string &path)
{
    itemstate st;
    struct statx sx;
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return st;
    st.exists = true;
    st.readonly = (sx.stx_mode & 0222) == 0;
    st.written = when{true, sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    st.accessed = when{true, sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
    st.hasrecord = readrecord(path, &st.created);
    if (!st.hasrecord && (sx.stx_mask & STATX_BTIME))
        st.created = when{true, sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec};
    return st;
}

// The items of a tree, parents before children, each directory's entries
// sorted by name, with their states.  "." is the top itself; directories
// end in '/'.  An item is read before it is listed, since listing a
// directory moves its access time.
struct item {
    std::string rel;
    itemstate source;
};

static void listtree(const std::string &top, const std::string &rel, std::vector<item> *items)
{
    std::vector<std::pair<std::string, bool>> entries;
    for (const fs::directory_entry &e : fs::directory_iterator(top + "/" + rel))
        entries.emplace_back(e.path().filename().string(), e.is_directory() && !e.is_symlink());
    std::sort(entries.begin(), entries.end());
    for (const auto &[name, isdir] : entries) {
        std::string sub = rel.empty() ? name : rel + "/" + name;
        items->push_back(item{isdir ? sub + "/" : sub, readitem(top + "/" + sub)});
        if (isdir)
            listtree(top, sub, items);
    }
}

struct tree {
    std::string label, dir;
    int timeskept = 0, readonlykept = 0;
};

static void printrow(const std::string &label, size_t width, const itemstate &st,
                     const itemstate &source, bool iscopy)
{
    auto column = [&](const when &t, const when &ref) {
        std::string text = showtime(t);
        bool changed = iscopy && !sametime(t, ref);
        text += changed ? " !" : "  ";
        text.resize(std::max<size_t>(text.size(), 32), ' ');
        return text;
    };
    std::string line = "  " + label + std::string(width - label.size() + 2, ' ');
    if (!st.exists) {
        std::cout << line << "(missing)\n";
        return;
    }
    line += column(st.written, source.written);
    line += column(st.accessed, source.accessed);
    line += column(st.created, source.created);
    line += st.readonly ? "read-only" : "writable";
    if (iscopy && st.readonly != source.readonly)
        line += " !";
    std::cout << line << "\n";
}

static int show(std::vector<tree> trees)
{
    size_t width = 0;
    for (const tree &t : trees)
        width = std::max(width, t.label.size());
    std::vector<item> items{item{".", readitem(trees[0].dir)}};
    listtree(trees[0].dir, "", &items);
    std::cout << "  " << std::string(width + 2, ' ') << "written                         "
              << "accessed                        created                         "
              << "attribute\n";
    for (const item &it : items) {
        std::cout << it.rel << "\n";
        std::string rel = it.rel == "." ? "" : it.rel;
        for (size_t i = 0; i < trees.size(); i++) {
            itemstate st = i == 0 ? it.source : readitem(trees[i].dir + "/" + rel);
            printrow(trees[i].label, width, st, it.source, i > 0);
            trees[i].timeskept += sametime(st.written, it.source.written) +
                                  sametime(st.accessed, it.source.accessed) +
                                  sametime(st.created, it.source.created);
            trees[i].readonlykept += st.exists && st.readonly == it.source.readonly;
        }
    }
    std::cout << "\n(UTC.  '!' differs from the source.  created: the creation-time record in "
              << recordname << ",\n or the file system's birth time where an item has none.)\n\n";
    for (size_t i = 1; i < trees.size(); i++)
        std::cout << trees[i].label << ": " << trees[i].timeskept << " of " << 3 * items.size()
                  << " times and " << trees[i].readonlykept << " of " << items.size()
                  << " read-only states as in the source\n";
    return 0;
}

// Stamps one item: the creation-time record, access and write times, and
// the read-only state (all write bits cleared, or the owner's set).  The
// item is made writable first, since the record needs write permission.
static bool stampitem(const std::string &path, const when &created, const when &accessed,
                      const when &written, bool readonly)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        perror(path.c_str());
        return false;
    }
    bool isdir = S_ISDIR(st.st_mode);
    mode_t mode = st.st_mode & 07777;
    if (chmod(path.c_str(), mode | 0200) != 0) {
        perror(path.c_str());
        return false;
    }
    if (!writerecord(path, isdir, readonly, created)) {
        if (errno != ENOTSUP) {
            perror(path.c_str());
            return false;
        }
        static bool told = false;
        if (!told)
            fprintf(stderr, "showtimes: no user extended attributes here: creation times not set\n");
        told = true;
    }
    struct timespec times[2] = {{accessed.sec, (long)accessed.nsec}, {written.sec, (long)written.nsec}};
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        perror(path.c_str());
        return false;
    }
    mode = readonly ? mode & ~(mode_t)0222 : mode | 0200;
    if (chmod(path.c_str(), mode) != 0) {
        perror(path.c_str());
        return false;
    }
    return true;
}

static int stamp(const std::string &dir)
{
    std::string line;
    int lineno = 0;
    bool ok = true;
    while (std::getline(std::cin, line)) {
        lineno++;
        std::istringstream in(line);
        std::string item, c, a, w, ro;
        if (!(in >> item) || item[0] == '#')
            continue;
        when created, accessed, written;
        in >> c >> a >> w >> ro;
        if (!parsetime(c, &created) || !parsetime(a, &accessed) || !parsetime(w, &written) ||
            (!ro.empty() && ro != "ro")) {
            fprintf(stderr, "showtimes: line %d: item created accessed written [ro]\n", lineno);
            return 2;
        }
        ok &= stampitem(dir + "/" + item, created, accessed, written, ro == "ro");
    }
    return ok ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "stamp") == 0)
        return stamp(argv[2]);
    std::vector<tree> trees;
    for (int i = 1; i < argc; i++) {
        const char *eq = strchr(argv[i], '=');
        if (eq == nullptr || eq == argv[i])
            break;
        trees.push_back(tree{std::string(argv[i], eq - argv[i]), eq + 1});
    }
    if (trees.empty() || (int)trees.size() != argc - 1) {
        fprintf(stderr, "usage: showtimes LABEL=DIR...\n       showtimes stamp DIR < list\n");
        return 2;
    }
    try {
        return show(trees);
    } catch (const fs::filesystem_error &e) {
        fprintf(stderr, "showtimes: %s\n", e.what());
        return 1;
    }
}
