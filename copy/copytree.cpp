// Copying directory trees: depth first, each directory's times written
// after its contents.
#include "../common/frame.h"
#include "../common/transfer.h"

int mvdir2olddir(const char *from, const char *to)
{
    srctimes times;
    readsrctimes(from, &times);
    if (times.opened && oflag)
        mergedirtimes(&times, to, true);
    entry *list;
    // A directory whose listing cannot be read was not copied.
    int failed = readentries(from, &list);
    // An existing read-only destination is unlocked before it is filled,
    // not only before its times are written: on POSIX its read-only bit
    // keeps an ordinary user from making entries in it.
    DWORD attributes = unlockdest(to);
    if (transferentries(list, to) != 0)
        failed = 1;
    writetimes(from, &times, to);
    relockdest(to, attributes);
    return failed;
}

int mvdir2newdir(const char *from, const char *to)
{
    trace(from, to);
    DWORD destattributes = GetFileAttributesA(to);
    bool exists = destattributes != INVALID_FILE_ATTRIBUTES;
    if (exists && !(destattributes & FILE_ATTRIBUTE_DIRECTORY)) {
        fprintf(msgout, "%s: cannot %s directory to a file.\n", progname, opname);
        fprintf(msgout, "\t%s -> %s\n", from, to);
        return 1;
    }
    DWORD attributes = GetFileAttributesA(from);
    srctimes times;
    readsrctimes(from, &times);
    if (times.opened && oflag)
        mergedirtimes(&times, to, false);
    if (!exists) {
        if (sflag) // -s creates nothing
            return 0;
        if (!CreateDirectoryExA(from, to, nullptr)) {
            callreport(to, "\tCreateDirectoryEx(%s,%s)\n", from, to);
            return 1;
        }
    }
    unlockdest(to);
    int failed = mvdir2olddir(from, to);
    writetimes(from, &times, to);
    relockdest(to, attributes); // the source's read-only bit, not the template's
    return failed != 0;
}
