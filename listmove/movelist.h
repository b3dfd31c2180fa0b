// The move-list driver shared by barvo and barvik.
#ifndef MOVELIST_H
#define MOVELIST_H

#include "../common/frame.h"

char *pathsubst(const char *from, const char *to, const char *name);
int runmovelist(const identity &id, int argc, char **argv);

#endif
