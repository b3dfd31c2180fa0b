// Placing an item into an existing directory under its own last name.
#include <cstring>

#include "frame.h"
#include "paths.h"
#include "policy.h"
#include "transfer.h"

int mvfile2dir(const char *from, const char *todir)
{
    ownedstr target(pathjoin(todir, pathtail(from)));
    return mvfile2file(from, target.get());
}

bool samefullpath(const char *a, const char *b)
{
    ownedstr fa(fullpath(a)), fb(fullpath(b));
    return strcmp(fa.get(), fb.get()) == 0;
}

static void refuse(const char *what, const char *from, const char *to)
{
    fprintf(msgout, "%s: cannot %s %s.\n", progname, opname, what);
    fprintf(msgout, "\t%s -> %s\n", from, to);
}

// A canonical path with one separator after it, so that a comparison of
// prefixes follows whole components (C:\a does not contain C:\ab).  A path
// that already ends in a separator gets no second one: otherwise a source
// given as dir\ would never be found to contain its own subdirectories.
static char *withseparator(const char *canonical)
{
    size_t n = strlen(canonical);
    char *s = (char *)xalloc(n + 2);
    memcpy(s, canonical, n + 1);
    if (n == 0 || (canonical[n - 1] != '\\' && canonical[n - 1] != '/')) {
        s[n] = '\\';
        s[n + 1] = '\0';
    }
    return s;
}

static bool intoitself(const char *from, const char *todir)
{
    ownedstr source(fullpath(from)), dest(fullpath(todir));
    ownedstr sourcedir(withseparator(source.get())), destdir(withseparator(dest.get()));
    if (strncmp(destdir.get(), sourcedir.get(), strlen(sourcedir.get())) != 0)
        return false;
    refuse("into itself", source.get(), dest.get());
    return true;
}

int mvdir2dir(const char *from, const char *todir)
{
    if (intoitself(from, todir))
        return 1;
    ownedstr target(pathjoin(todir, pathtail(from)));
    DWORD attributes = GetFileAttributesA(target.get());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!confirm(from, target.get()))
            return 0;
        return mvdir2newdir(from, target.get());
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        refuse("directory to a file", from, target.get());
        return 1;
    }
    ownedstr source(fullpath(from)), dest(fullpath(target.get()));
    if (strcmp(source.get(), dest.get()) == 0) {
        // The destination directory is the source's own parent: nothing
        // to do, and no failure.
        refuse("to itself", source.get(), dest.get());
        return 0;
    }
    return mvdir2olddir(from, target.get());
}

int mvall2dir(int argc, char **argv, DWORD destattributes)
{
    const char *dest = argv[argc - 1];
    if (destattributes == INVALID_FILE_ATTRIBUTES) {
        fprintf(msgout, "%s: %s: destination directory not exist.\n", progname, dest);
        return 1;
    }
    if (!(destattributes & FILE_ATTRIBUTE_DIRECTORY)) {
        fprintf(msgout, "%s: cannot %s two or more files to a file.\n", progname, opname);
        return 1;
    }
    int failed = 0;
    for (int i = 1; i < argc - 1; i++) {
        DWORD attributes = GetFileAttributesA(argv[i]);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            syserr("%s: ", argv[i]);
            failed = 1;
            continue;
        }
        int result = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? mvdir2dir(argv[i], dest)
                                                             : mvfile2dir(argv[i], dest);
        if (result != 0)
            failed = 1;
    }
    return failed;
}
