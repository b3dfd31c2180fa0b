// Copying directory trees: depth first, each directory's times written
// after its contents.
#include "../common/frame.h"
#include "../common/transfer.h"

int mvdir2olddir(const char *from, const char *to)
{
    return fillolddir(from, to, false);
}

int mvdir2newdir(const char *from, const char *to)
{
    trace(from, to);
    DWORD destattributes;
    if (refusedir2file(from, to, &destattributes))
        return 1;
    return filldir(from, to, destattributes, mvdir2olddir);
}
