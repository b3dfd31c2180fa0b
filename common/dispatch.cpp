// The dispatch over the operands that the copy and the move tool share:
// one source to a new name, onto a file or into a directory; several
// sources into a directory.
#include "frame.h"
#include "policy.h"
#include "transfer.h"

// argv[0] is not an operand.  A source named again by the destination's
// full path goes to onsame.
int mvargs(int argc, char **argv, int (*onsame)(const char *source, const char *dest, bool isdir))
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
        if (samefullpath(source, dest))
            return onsame(source, dest, isdir);
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
