// A directory's entries, read whole and the search closed before the first
// of them is transferred, so that only the directories on the current path
// hold a listing at any time.
#include <cerrno>
#include <cstring>

#include "frame.h"
#include "paths.h"
#include "transfer.h"

// A name that holds a separator cannot be joined to its directory: the
// joined path would name another item.  (On Windows no name can; on POSIX
// '\\' is an ordinary character.)
static bool holdsseparator(const char *name)
{
    for (const char *p = name; *p; p++) {
        if (IsDBCSLeadByte((BYTE)*p) && p[1] != '\0')
            p++;
        else if (*p == '\\' || *p == '/')
            return true;
    }
    return false;
}

int readentries(const char *dir, entry **list)
{
    *list = nullptr;
    ownedstr pattern(pathjoin(dir, "*.*"));
    _finddata_t found;
    intptr_t search = _findfirst(pattern.get(), &found);
    if (search == -1) {
        fprintf(msgout, "%s: %s", dir, errtext(errno));
        return 1;
    }
    int failed = 0;
    do {
        bool isdir = found.attrib & FILE_ATTRIBUTE_DIRECTORY;
        if (isdir && (strcmp(found.name, ".") == 0 || strcmp(found.name, "..") == 0))
            continue;
        if (holdsseparator(found.name)) {
            fprintf(msgout, "%s: %s: cannot %s '%s': the name holds a separator.\n", progname,
                    dir, opname, found.name);
            failed = 1;
            continue;
        }
        entry *e = (entry *)xalloc(sizeof *e);
        e->path = pathjoin(dir, found.name);
        e->attributes = found.attrib;
        e->next = *list;
        *list = e;
    } while (_findnext(search, &found) == 0);
    _findclose(search);
    return failed;
}

int transferentries(entry *list, const char *todir)
{
    int failed = 0;
    while (list != nullptr) {
        entry *e = list;
        list = e->next;
        int result = (e->attributes & FILE_ATTRIBUTE_DIRECTORY) ? mvdir2dir(e->path, todir)
                                                                : mvfile2dir(e->path, todir);
        if (result != 0)
            failed = 1;
        free(e->path);
        free(e);
    }
    return failed;
}

static void setattributes(const char *path, DWORD attributes)
{
    if (!SetFileAttributesA(path, attributes))
        callreport(path, "\tSetFileAttributes(%s,0x%x)=%d\n", path, (unsigned)attributes, 0);
}

// A source directory that entries move out of is made writable first: on
// POSIX a directory without write bits gives none of its entries up.
static DWORD unlocksource(const char *dir)
{
    DWORD attributes = GetFileAttributesA(dir);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        setattributes(dir, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);
    return attributes;
}

static void relocksource(const char *dir, DWORD attributes)
{
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        setattributes(dir, attributes);
}

// Removes an emptied source directory, unless -d keeps it.  One that still
// holds entries (some were declined or failed) stays, and that is no
// failure; one that stays for any reason keeps its read-only bit.
static int removesource(const char *dir, DWORD attributes)
{
    if (dflag) {
        relocksource(dir, attributes);
        return 0;
    }
    if (RemoveDirectoryA(dir))
        return 0;
    DWORD error = GetLastError();
    if (error != ERROR_DIR_NOT_EMPTY)
        callreport(dir, "\tRemoveDirectory(%s)=%d\n", dir, 0);
    relocksource(dir, attributes);
    return error != ERROR_DIR_NOT_EMPTY;
}

int fillolddir(const char *from, const char *to, bool movingout)
{
    srctimes times;
    readsrctimes(from, &times);
    if (times.opened && oflag)
        mergedirtimes(&times, to, true);
    entry *list;
    // A directory whose listing cannot be read was not transferred; its
    // contents stay where they are.
    int failed = readentries(from, &list);
    // An existing read-only destination is unlocked before it is filled,
    // not only before its times are written: on POSIX its read-only bit
    // keeps an ordinary user from making entries in it.
    DWORD attributes = unlockdest(to);
    DWORD sourceattributes = movingout ? unlocksource(from) : INVALID_FILE_ATTRIBUTES;
    if (transferentries(list, to) != 0)
        failed = 1;
    if (movingout && removesource(from, sourceattributes) != 0)
        failed = 1;
    writetimes(from, &times, to);
    relockdest(to, attributes);
    return failed;
}
