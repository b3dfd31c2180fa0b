// What both forms of the directory line share.
#ifndef DIRLINE_H
#define DIRLINE_H

#include "../common/frame.h"
#include "../common/transfer.h"

// Refuses a destination that exists and is no directory.  Gives the
// destination's attribute word as read.
inline bool refusefile(const char *from, const char *to, DWORD *destattributes)
{
    *destattributes = GetFileAttributesA(to);
    if (*destattributes == INVALID_FILE_ATTRIBUTES ||
        (*destattributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    fprintf(msgout, "%s: cannot %s directory to a file.\n", progname, opname);
    fprintf(msgout, "\t%s -> %s\n", from, to);
    return true;
}

// Creates the destination from the source as template unless it exists.
inline bool makedir(const char *from, const char *to, DWORD destattributes)
{
    if (destattributes != INVALID_FILE_ATTRIBUTES)
        return true;
    if (CreateDirectoryExA(from, to, nullptr))
        return true;
    callreport(to, "\tCreateDirectoryEx(%s,%s)\n", from, to);
    return false;
}

#endif
