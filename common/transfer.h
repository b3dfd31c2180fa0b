// The transfer operations.  mvfile2newfile, mvfile2file, mvdir2olddir and
// mvdir2newdir are supplied under these names by each program's own
// variants and bound at link time; the placement routines are common.
#ifndef TRANSFER_H
#define TRANSFER_H

#include "../platform/winfile.h"

int mvfile2newfile(const char *from, const char *to);
int mvfile2file(const char *from, const char *to);
int mvdir2olddir(const char *from, const char *to);
int mvdir2newdir(const char *from, const char *to);

int mvfile2dir(const char *from, const char *todir);
int mvdir2dir(const char *from, const char *todir);

void keepolder(FILETIME *t, const FILETIME *other);

// The metadata carry-over: the source's times are read before a transfer
// and written onto the destination after it, around a temporary clearing
// of the destination's read-only bit.
struct srctimes {
    bool opened;  // the source could be opened
    bool read;    // its times were read
    FILETIME creation, access, write;
};

void callreport(const char *path, const char *format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void readsrctimes(const char *from, srctimes *t);                // step 1
void mergefiletimes(srctimes *t, const char *to);                // step 2, file form
bool mergedirtimes(srctimes *t, const char *to, bool report);    // step 2, directory form
DWORD unlockdest(const char *to);                                // step 4
void writetimes(const char *from, const srctimes *t, const char *to); // step 5
void relockdest(const char *to, DWORD attributes);               // step 6

// mvfile2newfile around the variant's own copy or move call: the source's
// times and read-only bit carried to the destination.  0, or 1 when the
// call failed.
int carryfile(const char *from, const char *to, bool (*transfer)(const char *, const char *));
// mvfile2file's checks, confirmation and overwrite policy, then the transfer.
int guardedtransfer(const char *from, const char *to);

// The dispatch over a program's operands (argv[0] is not one); a source
// named again by the destination's own full path goes to onsame.
int mvargs(int argc, char **argv, int (*onsame)(const char *source, const char *dest, bool isdir));

// Several sources placed into an existing directory; dest is argv[argc-1]
// and destattributes its word.
int mvall2dir(int argc, char **argv, DWORD destattributes);
bool samefullpath(const char *a, const char *b);

// The entries of one directory, read whole before any of them is
// transferred: a stack, so the last entry found comes first.
struct entry {
    entry *next;
    char *path;
    DWORD attributes;
};
int readentries(const char *dir, entry **list); // 1 when an entry or all were not listed
int transferentries(entry *list, const char *todir);

// mvdir2olddir's course: the source's entries placed into the existing
// destination, then the source's times carried over.  When the entries
// move out (movingout), the emptied source is removed unless -d keeps it.
int fillolddir(const char *from, const char *to, bool movingout);

// Refuses, with its report, a destination that exists and is no directory;
// gives the destination's attribute word as read.
bool refusedir2file(const char *from, const char *to, DWORD *destattributes);
// A source that is gone while its destination directory exists would strip
// that directory of its read-only bit and report success: it is reported
// as missing instead.
bool missingsource(const char *from, DWORD attributes, DWORD destattributes);
// Creates to with from as its template, reporting a failure.
bool createdir(const char *from, const char *to);
// mvdir2newdir's course once the destination is known to be free or a
// directory: made from the source unless it exists, its contents
// transferred (none when contents is null), the source's times and
// read-only bit carried over.
int filldir(const char *from, const char *to, DWORD destattributes,
            int (*contents)(const char *, const char *));

#endif
