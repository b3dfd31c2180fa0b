// The copy variant of the single-file transfer.
#include "../frame.h"
#include "../transfer.h"

int mvfile2newfile(const char *from, const char *to)
{
    trace(from, to);
    srctimes times;
    readsrctimes(from, &times);
    if (tflag)
        mergefiletimes(&times, to);
    // Replaces an existing destination in one step.  When the copy fails
    // the old file is left as it was, with its own times and attributes.
    if (!CopyFileA(from, to, FALSE))
        return transferfailed(from, to);
    DWORD attributes = unlockdest(to);
    writetimes(from, &times, to);
    relockdest(to, attributes);
    return 0;
}

int mvfile2file(const char *from, const char *to)
{
    if (dflag) // -d and -s copy no files
        return 0;
    return guardedtransfer(from, to);
}
