// Path names: the last component, the directory part, joining, and the
// canonical full path on which the programs' identity tests rest.
#include "paths.h"

#include <cstdlib>
#include <cstring>

#include "frame.h"

static bool issep(char c)
{
    return c == '\\' || c == '/';
}

static bool isletter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The second byte of a double-byte character may have the value of '\';
// it is stepped over together with its lead byte.
static bool isdoublebyte(const char *p)
{
    return IsDBCSLeadByte((BYTE)p[0]) && p[1] != '\0';
}

const char *pathtail(const char *path)
{
    const char *p = path;
    if (isletter(p[0]) && p[1] == ':')
        p += 2;
    else if (p[0] == '\\' && p[1] == '\\')
        p += 2;
    const char *tail = p;
    for (; *p; p++) {
        if (isdoublebyte(p))
            p++;
        else if (issep(*p))
            tail = p + 1;
    }
    return tail;
}

// A drive, a drive root, a root or the double separator of a network path.
static size_t prefixlength(const char *p)
{
    if (issep(p[0]) && issep(p[1]))
        return 2;
    if (issep(p[0]))
        return 1;
    if (isletter(p[0]) && p[1] == ':' && issep(p[2]))
        return 3;
    if (isletter(p[0]) && p[1] == ':')
        return 2;
    return 0;
}

char *pathhead(const char *path)
{
    size_t n = strlen(path);
    char *head = (char *)malloc(n + 1);
    if (head == nullptr) {
        // Called by the main entry before the program knows its own name.
        fprintf(stderr, "%s: inadequate memory.\n", cmdname);
        exit(1);
    }
    memcpy(head, path, n + 1);
    size_t cut = prefixlength(path);
    for (size_t i = cut; i < n; i++) {
        if (isdoublebyte(path + i))
            i++;
        else if (issep(path[i]))
            cut = i;
    }
    head[cut] = '\0';
    return head;
}

char *pathjoin(const char *dir, const char *name)
{
    size_t dl = strlen(dir), nl = strlen(name);
    bool root = dl == 1 && issep(dir[0]);
    bool drive = dl == 2 && isletter(dir[0]) && dir[1] == ':';
    bool driveroot = dl == 3 && isletter(dir[0]) && dir[1] == ':' && issep(dir[2]);

    char *joined = (char *)malloc(dl + nl + 2);
    if (joined == nullptr)
        nomemory();
    char *p = joined;
    if (root) {
        *p++ = '\\';
    } else if (dl > 0) {
        memcpy(p, dir, dl);
        p += dl;
        if (!drive && !driveroot)
            *p++ = '\\';
    }
    memcpy(p, name, nl + 1);
    return joined;
}

static bool isroot(const char *p)
{
    size_t n = strlen(p);
    if (n == 1 && issep(p[0]))
        return true;
    if (n == 2 && p[0] == '\\' && p[1] == '\\')
        return true;
    if (n == 2 && isletter(p[0]) && p[1] == ':')
        return true;
    return n == 3 && isletter(p[0]) && p[1] == ':' && issep(p[2]);
}

// The absolute path as the system resolves it; the given path unchanged
// when it resolves nothing.  The buffer grows when a full path is longer
// than the usual margin, since a full path has no length limit here.
static char *systemfullpath(const char *path)
{
    size_t n = strlen(path);
    DWORD size = (DWORD)(n + 259);
    char *buf = (char *)xalloc(n + 260);
    DWORD got = GetFullPathNameA(path, size, buf, nullptr);
    if (got >= size) {
        free(buf);
        size = got;
        buf = (char *)xalloc((size_t)size + 1);
        got = GetFullPathNameA(path, size, buf, nullptr);
        if (got >= size)
            got = 0;
    }
    if (got == 0) {
        free(buf);
        return xstrdup(path);
    }
    return buf;
}

// The canonical form of the directory part of a full path.  A POSIX
// directory stores every name exactly as it is given, and the existing
// part of a full path is resolved physically there, so the directory part
// is already canonical.  Searching it again, one component at a time,
// gave the same string at a cost that grows with the square of the depth,
// for every path of a walk.
static ownedstr canonicalhead(const char *head)
{
#ifdef _WIN32
    return ownedstr(fullpath(head));
#else
    return ownedstr(xstrdup(head));
#endif
}

char *fullpath(const char *path)
{
    if (path == nullptr || *path == '\0') {
        char *empty = (char *)xalloc(1);
        *empty = '\0';
        return empty;
    }
    char *full = systemfullpath(path);
    if (isroot(full))
        return full;

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(full, &found);
    if (search == INVALID_HANDLE_VALUE)
        return full;
    // Every component takes the spelling its directory stores.
    char *canonical = nullptr;
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) {
            ownedstr head(pathhead(full));
            canonical = pathjoin(canonicalhead(head.get()).get(), found.cFileName);
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    if (canonical == nullptr)
        return full;
    free(full);
    return canonical;
}
