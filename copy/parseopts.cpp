// dupra's command line and the dispatch over its operands.
#include "../common/frame.h"
#include "../common/policy.h"
#include "../common/transfer.h"

static const identity copytool = {
    "dupra", "copy", "CDFILNORSTVWYZ",
    "usage: %s [-vidostynzfrw] [-l logfile] file1.. filen\n"};

// One source to a new name, onto a file or into a directory; several
// sources into a directory.  argv[0] is not an operand.
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
        if (samefullpath(source, dest)) {
            fprintf(msgout, "%s: cannot %s to itself.\n", progname, opname);
            fprintf(msgout, "\t%s -> %s\n", source, dest);
            return 1;
        }
        bool destisdir = destattributes & FILE_ATTRIBUTE_DIRECTORY;
        if (!isdir)
            return destisdir ? mvfile2dir(source, dest) : mvfile2file(source, dest);
        if (!destisdir) {
            fprintf(msgout, "%s: cannot %s directory to a file.\n", progname, opname);
            return 1;
        }
    }
    return mvall2dir(argc, argv, destattributes);
}

int parseopts(int argc, char **argv)
{
    int first = readopts(copytool, argc, argv);
    return mvargs(argc - first + 1, argv + first - 1);
}
