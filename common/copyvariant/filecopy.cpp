// The copy variant of the single-file transfer.
#include "../frame.h"
#include "../transfer.h"

// An existing destination is replaced in one step; when the copy fails it
// is left as it was.
static bool copyfile(const char *from, const char *to)
{
    return CopyFileA(from, to, FALSE) != 0;
}

int mvfile2newfile(const char *from, const char *to)
{
    return carryfile(from, to, copyfile);
}

int mvfile2file(const char *from, const char *to)
{
    if (dflag) // -d and -s copy no files
        return 0;
    return guardedtransfer(from, to);
}
