// barvik: moves the items of a move list; directory lines carry the
// read-only attribute only.
#include "movelist.h"

static const identity barvik = {
    "barvik", "move", "CDFILNRTVWYZ",
    "usage: %s [-vidtynzfrw] [-l logfile] srcdir dstdir list\n"};

int parseopts(int argc, char **argv)
{
    return runmovelist(barvik, argc, argv);
}
