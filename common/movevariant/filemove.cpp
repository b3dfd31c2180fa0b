// The move variant of the single-file transfer.
#include "../frame.h"
#include "../transfer.h"

int mvfile2newfile(const char *from, const char *to)
{
    trace(from, to);
    srctimes times;
    readsrctimes(from, &times);
    if (tflag)
        mergefiletimes(&times, to);
    // The source replaces an existing destination in one step, so a move
    // that fails leaves both where they were.  An item renamed onto its
    // own path is left alone.
    if (!MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        return transferfailed(from, to);
    DWORD attributes = unlockdest(to);
    writetimes(from, &times, to);
    relockdest(to, attributes);
    return 0;
}

int mvfile2file(const char *from, const char *to)
{
    return guardedtransfer(from, to);
}
