// relka's command line and the dispatch over its operands.
#include <cstring>

#include "../common/frame.h"
#include "../common/paths.h"
#include "../common/policy.h"
#include "../common/transfer.h"

static const identity movetool = {
    "relka", "move", "CDFILNORTVWYZ",
    "usage: %s [-vidotynzfrw] [-l logfile] file1.. filen\n"};

// An item named again by its own full path, in another spelling, is
// renamed in place.
static int renameinplace(const char *source, const char *dest)
{
    if (!confirm(source, dest))
        return 0;
    return mvfile2newfile(source, dest);
}

// One source to a new name, onto a file, into a directory or onto its own
// path; several sources into a directory.  argv[0] is not an operand.
static int mvargs(int argc, char **argv)
{
    if (argc < 3)
        usage();
    const char *dest = argv[argc - 1];
    DWORD destattributes = GetFileAttributesA(dest);
    if (argc == 3) {
        const char *source = argv[1];
        DWORD attributes = GetFileAttributesA(source);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            syserr("%s: ", source);
            return 1;
        }
        bool isdir = attributes & FILE_ATTRIBUTE_DIRECTORY;
        if (destattributes == INVALID_FILE_ATTRIBUTES) {
            if (!isdir)
                return mvfile2file(source, dest);
            if (!confirm(source, dest))
                return 0;
            return mvdir2newdir(source, dest);
        }
        bool same = samefullpath(source, dest);
        bool destisdir = destattributes & FILE_ATTRIBUTE_DIRECTORY;
        if (!isdir) {
            if (same)
                return renameinplace(source, dest);
            return destisdir ? mvfile2dir(source, dest) : mvfile2file(source, dest);
        }
        if (same) {
            const char *last = pathtail(dest);
            if (*last == '\0' || strcmp(last, ".") == 0 || strcmp(last, "..") == 0) {
                fprintf(msgout, "%s: %s: cannot rename as '%s'.\n", progname, source, last);
                return 1;
            }
            return renameinplace(source, dest);
        }
        if (!destisdir) {
            fprintf(msgout, "%s: cannot %s directory to a file.\n", progname, opname);
            return 1;
        }
    }
    return mvall2dir(argc, argv, destattributes);
}

int parseopts(int argc, char **argv)
{
    int first = readopts(movetool, argc, argv);
    return mvargs(argc - first + 1, argv + first - 1);
}
