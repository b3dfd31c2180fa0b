// dupra's command line.
#include "../common/frame.h"
#include "../common/transfer.h"

static const identity copytool = {
    "dupra", "copy", "CDFILNORSTVWYZ",
    "usage: %s [-vidostynzfrw] [-l logfile] file1.. filen\n"};

// A copy onto the source itself would destroy it.
static int refuseitself(const char *source, const char *dest, bool)
{
    fprintf(msgout, "%s: cannot %s to itself.\n", progname, opname);
    fprintf(msgout, "\t%s -> %s\n", source, dest);
    return 1;
}

int parseopts(int argc, char **argv)
{
    int first = readopts(copytool, argc, argv);
    return mvargs(argc - first + 1, argv + first - 1, refuseitself);
}
