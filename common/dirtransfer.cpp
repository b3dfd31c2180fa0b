// What the directory transfers of all four programs share: the refusal of a
// file in the way, and the making of a destination directory that takes
// the source's attributes and times.
#include "frame.h"
#include "transfer.h"

bool refusedir2file(const char *from, const char *to, DWORD *destattributes)
{
    *destattributes = GetFileAttributesA(to);
    if (*destattributes == INVALID_FILE_ATTRIBUTES ||
        (*destattributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    fprintf(msgout, "%s: cannot %s directory to a file.\n", progname, opname);
    fprintf(msgout, "\t%s -> %s\n", from, to);
    return true;
}

bool missingsource(const char *from, DWORD attributes, DWORD destattributes)
{
    if (attributes != INVALID_FILE_ATTRIBUTES || destattributes == INVALID_FILE_ATTRIBUTES)
        return false;
    syserr("%s: ", from);
    return true;
}

bool createdir(const char *from, const char *to)
{
    if (CreateDirectoryExA(from, to, nullptr))
        return true;
    callreport(to, "\tCreateDirectoryEx(%s,%s)\n", from, to);
    return false;
}

int filldir(const char *from, const char *to, DWORD destattributes,
            int (*contents)(const char *, const char *))
{
    DWORD attributes = GetFileAttributesA(from);
    if (missingsource(from, attributes, destattributes))
        return 1;
    srctimes times;
    readsrctimes(from, &times);
    if (times.opened && oflag)
        mergedirtimes(&times, to, false); // a new destination merges nothing
    if (destattributes == INVALID_FILE_ATTRIBUTES) {
        if (sflag) // -s creates nothing
            return 0;
        if (!createdir(from, to))
            return 1;
    }
    unlockdest(to);
    int failed = contents != nullptr ? contents(from, to) : 0;
    writetimes(from, &times, to);
    relockdest(to, attributes); // the source's read-only bit, not the template's
    return failed != 0;
}
