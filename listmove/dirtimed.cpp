// barvo's directory line: the directory is made at the new path, or the
// one there is taken, and given the source's attributes and times.  Its
// entries move by their own lines.
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
    srctimes times;
    readsrctimes(from, &times);
    if (times.opened && oflag)
        mergedirtimes(&times, to, false);
    if (!makedir(from, to, destattributes))
        return 1;
    unlockdest(to);
    writetimes(from, &times, to);
    relockdest(to, attributes);
    return 0;
}
