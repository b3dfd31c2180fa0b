// barvik's directory line: the directory is made at the new path, or the
// one there is taken, and given the source's read-only attribute; no time
// is read or written.
#include "../common/frame.h"
#include "../common/transfer.h"
#include "dirline.h"

int mvdir2newdir(const char *from, const char *to)
{
    trace(from, to);
    DWORD destattributes;
    if (refusefile(from, to, &destattributes))
        return 1;
    DWORD attributes = GetFileAttributesA(from);
    if (!makedir(from, to, destattributes))
        return 1;
    unlockdest(to);
    relockdest(to, attributes);
    return 0;
}
