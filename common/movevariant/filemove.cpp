// The move variant of the single-file transfer.
#include "../frame.h"
#include "../transfer.h"

// The source replaces an existing destination in one step, so a move that
// fails leaves both where they were.  An item renamed onto its own path is
// left alone.
static bool movefile(const char *from, const char *to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

int mvfile2newfile(const char *from, const char *to)
{
    return carryfile(from, to, movefile);
}

int mvfile2file(const char *from, const char *to)
{
    return guardedtransfer(from, to);
}
