// Directory searches: FindFirstFileA and the run time's _findfirst, over
// the same listing.  A search reads its whole directory at once, sorted
// by name, so runs are reproducible; it costs one pass and one lstat per
// entry that matches.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <vector>

#include "posix.h"

struct entry {
    std::string name;
    DWORD attrib;
    FILETIME creation, access, write;
    uint64_t size;
};

struct search {
    uint32_t magic;
    std::vector<entry> entries;
    size_t next;
};
static const uint32_t SEARCHMAGIC = 0x53726368;

static bool haswildcard(const std::string &s)
{
    return s.find_first_of("*?") != std::string::npos;
}

// The length in bytes of the character that s starts with: '?' stands
// for one character, however many bytes the locale gives it.
static size_t charlen(const char *s)
{
    mbstate_t state;
    size_t n;

    memset(&state, 0, sizeof state);
    n = mbrlen(s, MB_CUR_MAX, &state);
    return n == 0 || n > MB_CUR_MAX ? 1 : n;
}

// '*' matches any run of characters, '?' one; letter case counts.
static bool matches(const char *pat, const char *name)
{
    const char *star = nullptr, *resume = nullptr;

    if (strcmp(pat, "*.*") == 0)
        return true;
    while (*name != '\0') {
        if (*pat == '*') {
            while (*pat == '*')
                pat++;
            star = pat;
            resume = name;
        } else if (*pat == '?') {
            pat++;
            name += charlen(name);
        } else if (*pat == *name) {
            pat++;
            name++;
        } else if (star != nullptr) {
            pat = star;
            resume += charlen(resume);
            name = resume;
        } else {
            return false;
        }
    }
    while (*pat == '*')
        pat++;
    return *pat == '\0';
}

static entry describe(const std::string &name, const struct statx &sx, const std::string &record)
{
    entry e;

    e.name = name;
    e.attrib = attrword(sx.stx_mode);
    itemtimes(sx, record, &e.creation, &e.access, &e.write);
    e.size = S_ISREG(sx.stx_mode) ? sx.stx_size : 0;
    return e;
}

// An entry that cannot be looked at (a directory we may list but not
// search) is still yielded, with the kind the listing gave it.
static entry guess(const std::string &name, unsigned char type)
{
    entry e = {name, FILE_ATTRIBUTE_ARCHIVE, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0};

    if (type == DT_DIR)
        e.attrib = FILE_ATTRIBUTE_DIRECTORY;
    else if (type == DT_LNK)
        e.attrib = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE;
    return e;
}

// times: whether the caller wants the times too, which costs a look at
// each entry's creation-time record.
static bool listmatches(const std::string &pattern, bool times, std::vector<entry> *out)
{
    std::string dir = parentof(pattern), last = lastof(pattern);
    std::vector<std::pair<std::string, unsigned char>> names;
    const unsigned mask = times ? STATX_BASIC_STATS | STATX_BTIME : STATX_TYPE | STATX_MODE;
    struct dirent *de;
    DIR *d;
    int fd;

    // Listing a directory sets its access time unless it is opened with
    // O_NOATIME.
    fd = openitem(dir, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    d = fdopendir(fd);
    if (d == nullptr) {
        int err = errno;
        close(fd);
        errno = err;
        return false;
    }
    for (errno = 0; (de = readdir(d)) != nullptr; errno = 0)
        if (matches(last.c_str(), de->d_name))
            names.emplace_back(de->d_name, de->d_type);
    if (errno != 0) {
        int err = errno;
        closedir(d);
        errno = err;
        return false;
    }
    std::sort(names.begin(), names.end()); // std::string orders bytes as unsigned
    for (const auto &n : names) {
        struct statx sx;
        std::string record;
        if (statx(dirfd(d), n.first.c_str(), AT_SYMLINK_NOFOLLOW, mask, &sx) != 0) {
            if (errno != ENOENT) // gone since the listing: nothing to yield
                out->push_back(guess(n.first, n.second));
            continue;
        }
        if (times && !S_ISLNK(sx.stx_mode))
            readxattr(-1, dir + "/" + n.first, false, DOSATTRIB, &record);
        out->push_back(describe(n.first, sx, record));
    }
    closedir(d);
    return true;
}

// A pattern without wildcards names one item, which keeps the name given.
static bool listone(const std::string &path, bool times, std::vector<entry> *out)
{
    std::string last, record;
    struct statx sx;
    const unsigned mask = times ? STATX_BASIC_STATS | STATX_BTIME : STATX_TYPE | STATX_MODE;

    if (path.back() == '/') {
        errno = ENOENT;
        return false;
    }
    last = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    if (last.size() >= MAX_PATH) {
        errno = ENAMETOOLONG;
        return false;
    }
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, mask, &sx) != 0)
        return false;
    if (times && !S_ISLNK(sx.stx_mode))
        readxattr(-1, path, false, DOSATTRIB, &record);
    out->push_back(describe(last, sx, record));
    return true;
}

// False with errno when the search cannot be made; an empty list when
// nothing matches.
static bool collect(const std::string &pattern, bool times, std::vector<entry> *out)
{
    std::string last;

    if (pattern.empty()) {
        errno = ENOENT;
        return false;
    }
    last = pattern.substr(pattern.rfind('/') == std::string::npos ? 0 : pattern.rfind('/') + 1);
    if (!haswildcard(last))
        return listone(pattern, times, out);
    return listmatches(pattern, times, out);
}

static void fillfind(const entry &e, WIN32_FIND_DATAA *found)
{
    found->dwFileAttributes = e.attrib;
    found->ftCreationTime = e.creation;
    found->ftLastAccessTime = e.access;
    found->ftLastWriteTime = e.write;
    found->nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
    found->nFileSizeLow = static_cast<DWORD>(e.size);
    memcpy(found->cFileName, e.name.c_str(), e.name.size() + 1);
}

static void fillfinddata(const entry &e, struct _finddata_t *found)
{
    found->attrib = e.attrib;
    memcpy(found->name, e.name.c_str(), e.name.size() + 1);
}

static search *searchof(const void *h)
{
    search *s = static_cast<search *>(const_cast<void *>(h));

    if (h == nullptr || h == INVALID_HANDLE_VALUE || s->magic != SEARCHMAGIC)
        return nullptr;
    return s;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *found)
{
    std::string p;
    search *s;

    if (pattern == nullptr || found == nullptr) {
        setlasterror(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    p = syspath(pattern);
    s = new search{SEARCHMAGIC, {}, 0};
    if (!collect(p, true, &s->entries)) {
        seterrno(errno, p);
        delete s;
        return INVALID_HANDLE_VALUE;
    }
    if (s->entries.empty()) {
        setlasterror(ERROR_FILE_NOT_FOUND);
        delete s;
        return INVALID_HANDLE_VALUE;
    }
    fillfind(s->entries[s->next++], found);
    return s;
}

BOOL FindNextFileA(HANDLE h, WIN32_FIND_DATAA *found)
{
    search *s = searchof(h);

    if (s == nullptr) {
        setlasterror(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (s->next >= s->entries.size()) {
        setlasterror(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    fillfind(s->entries[s->next++], found);
    return TRUE;
}

BOOL FindClose(HANDLE h)
{
    search *s = searchof(h);

    if (s == nullptr) {
        setlasterror(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    s->magic = 0;
    delete s;
    return TRUE;
}

// The run time's search tells its failures through errno alone.
intptr_t _findfirst(const char *pattern, struct _finddata_t *found)
{
    search *s;

    if (pattern == nullptr || found == nullptr) {
        errno = EINVAL;
        return -1;
    }
    s = new search{SEARCHMAGIC, {}, 0};
    if (!collect(syspath(pattern), false, &s->entries)) {
        int err = errno;
        delete s;
        errno = err;
        return -1;
    }
    if (s->entries.empty()) {
        delete s;
        errno = ENOENT;
        return -1;
    }
    fillfinddata(s->entries[s->next++], found);
    return reinterpret_cast<intptr_t>(s);
}

int _findnext(intptr_t h, struct _finddata_t *found)
{
    search *s = searchof(reinterpret_cast<void *>(h));

    if (s == nullptr || found == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (s->next >= s->entries.size()) {
        errno = ENOENT;
        return -1;
    }
    fillfinddata(s->entries[s->next++], found);
    return 0;
}

int _findclose(intptr_t h)
{
    search *s = searchof(reinterpret_cast<void *>(h));

    if (s == nullptr) {
        errno = EINVAL;
        return -1;
    }
    s->magic = 0;
    delete s;
    return 0;
}
