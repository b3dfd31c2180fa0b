// barvik's directory line: the directory is made at the new path, or the
// one there is taken, and given the source's read-only attribute; no time
// is read or written.
#include "../common/frame.h"
#include "../common/transfer.h"

int mvdir2newdir(const char *from, const char *to)
{
    trace(from, to);
    DWORD destattributes;
    if (refusedir2file(from, to, &destattributes))
        return 1;
    DWORD attributes = GetFileAttributesA(from);
    if (missingsource(from, attributes, destattributes))
        return 1;
    if (destattributes == INVALID_FILE_ATTRIBUTES && !createdir(from, to))
        return 1;
    unlockdest(to);
    relockdest(to, attributes);
    return 0;
}
