// relka's command line.
#include <cstring>

#include "../common/frame.h"
#include "../common/paths.h"
#include "../common/policy.h"
#include "../common/transfer.h"

static const identity movetool = {
    "relka", "move", "CDFILNORTVWYZ",
    "usage: %s [-vidotynzfrw] [-l logfile] file1.. filen\n"};

// An item named again by its own full path, in another spelling, is
// renamed in place.  A directory cannot be renamed as ".", ".." or
// nothing.
static int renameinplace(const char *source, const char *dest, bool isdir)
{
    const char *last = pathtail(dest);
    if (isdir && (*last == '\0' || strcmp(last, ".") == 0 || strcmp(last, "..") == 0)) {
        fprintf(msgout, "%s: %s: cannot rename as '%s'.\n", progname, source, last);
        return 1;
    }
    if (!confirm(source, dest))
        return 0;
    return mvfile2newfile(source, dest);
}

int parseopts(int argc, char **argv)
{
    int first = readopts(movetool, argc, argv);
    return mvargs(argc - first + 1, argv + first - 1, renameinplace);
}
