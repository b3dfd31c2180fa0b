// The frame every program stands on: identity, streams, option syntax,
// reports and allocation.
#ifndef FRAME_H
#define FRAME_H

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "../platform/winfile.h"

extern const char *cmdname;  // argv[0] as the process received it
extern const char *progname; // the program's built-in name
extern const char *opname;   // the verb of refusals: "copy" or "move"
extern FILE *msgout;         // standard output, or the log file
extern DWORD lasterror;      // the code that the latest syserr took

// Option flags: 0 at start (cflag 1), only ever set to 1.
extern int cflag, dflag, fflag, iflag, lflag, nflag, oflag, rflag, sflag, tflag, vflag,
    wflag, yflag, zflag;
extern const char *logfile;

// Supplied by each program: reads its options and runs it.
int parseopts(int argc, char **argv);

// The program identity that parseopts hands to the shared option reader.
struct identity {
    const char *name;    // progname
    const char *verb;    // opname
    const char *letters; // accepted option letters, upper case
    const char *usageline;
};

// Sets the identity, reads the option groups and, when an operand remains,
// opens the log file.  Returns the index of the first operand; ends the
// process through usage() when none is left.
int readopts(const identity &id, int argc, char **argv);

// A string from the standard allocator, freed when it goes out of scope.
struct freer {
    void operator()(void *p) const { std::free(p); }
};
using ownedstr = std::unique_ptr<char, freer>;

int haswild(const char *arg);
void *xalloc(size_t size);
char *xstrdup(const char *s);
[[noreturn]] void usage();
void syserr(const char *format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void trace(const char *from, const char *to);
[[noreturn]] void nomemory();
const char *errtext(int err); // the library's text for err, with its line end

// Builds the argument vector with every pattern replaced by its matches.
// Returns 0, or 1 after "argument not matched".
int expandargs(int argc, char **argv, int *newargc, char ***newargv);

#endif
