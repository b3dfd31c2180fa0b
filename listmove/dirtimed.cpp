// barvo's directory line: the directory is made at the new path, or the
// one there is taken, and given the source's attributes and times.  Its
// entries move by their own lines.
#include "../common/frame.h"
#include "../common/transfer.h"

int mvdir2newdir(const char *from, const char *to)
{
    trace(from, to);
    DWORD destattributes;
    if (refusedir2file(from, to, &destattributes))
        return 1;
    return filldir(from, to, destattributes, nullptr);
}
