// barvo: moves the items of a move list; directory lines carry times.
#include "movelist.h"

static const identity barvo = {
    "barvo", "move", "CDFILNORTVWYZ",
    "usage: %s [-vidotynzfrw] [-l logfile] srcdir dstdir list\n"};

int parseopts(int argc, char **argv)
{
    return runmovelist(barvo, argc, argv);
}
