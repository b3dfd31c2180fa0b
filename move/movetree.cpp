// Moving directory trees: a rename in one step where the system allows it,
// otherwise entry by entry, removing each emptied source directory.
#include "../common/frame.h"
#include "../common/transfer.h"

int mvdir2olddir(const char *from, const char *to)
{
    return fillolddir(from, to, true);
}

int mvdir2newdir(const char *from, const char *to)
{
    trace(from, to);
    DWORD destattributes;
    if (refusedir2file(from, to, &destattributes))
        return 1;
    if (MoveFileA(from, to))
        return 0;
    if (GetLastError() != ERROR_ACCESS_DENIED) {
        syserr("mvdir2newdir() ");
        fprintf(msgout, "\t%s -> %s\n", from, to);
        return 1;
    }
    // Refused as a whole (on another file system, for one): piece by piece.
    return filldir(from, to, destattributes, mvdir2olddir);
}
