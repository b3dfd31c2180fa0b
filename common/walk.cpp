// A directory's entries, read whole and the search closed before the first
// of them is transferred, so that only the directories on the current path
// hold a listing at any time.
#include <cerrno>
#include <cstring>

#include "frame.h"
#include "paths.h"
#include "transfer.h"

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
    do {
        bool isdir = found.attrib & FILE_ATTRIBUTE_DIRECTORY;
        if (isdir && (strcmp(found.name, ".") == 0 || strcmp(found.name, "..") == 0))
            continue;
        entry *e = (entry *)xalloc(sizeof *e);
        e->path = pathjoin(dir, found.name);
        e->attributes = found.attrib;
        e->next = *list;
        *list = e;
    } while (_findnext(search, &found) == 0);
    _findclose(search);
    return 0;
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

int fillolddir(const char *from, const char *to, int (*cleanup)(const char *))
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
    if (transferentries(list, to) != 0)
        failed = 1;
    if (cleanup != nullptr && cleanup(from) != 0)
        failed = 1;
    writetimes(from, &times, to);
    relockdest(to, attributes);
    return failed;
}
