// The move list: one item a line, its new path the old one with the text
// srcdir replaced by dstdir.
#include "movelist.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "../common/transfer.h"

// The move list as it is read: a Ctrl-Z ends it for good, also where the
// stream cannot be wound on to its end (a pipe).
struct listfile {
    FILE *stream;
    bool ended;
};

// One line of DOS text, whatever its length: carriage returns are dropped
// wherever they stand, so one alone after the last line end makes no line.
// False at the end.
static bool readline(listfile &list, std::string &line)
{
    line.clear();
    if (list.ended)
        return false;
    bool any = false;
    int c;
    while ((c = getc(list.stream)) != EOF) {
        if (c == 0x1A) {
            list.ended = true;
            break;
        }
        if (c == '\r')
            continue;
        any = true;
        if (c == '\n')
            return true;
        line += (char)c;
    }
    return any;
}

// Columns 1 to 11 are the kind field; the path starts in column 12.  A
// shorter line has an empty path.
static const char *namefield(const std::string &line)
{
    return line.size() > 11 ? line.c_str() + 11 : "";
}

static int moveline(const std::string &line, const char *name, const char *newpath)
{
    if (line[0] == '<')
        return mvdir2newdir(name, newpath);
    return mvfile2file(name, newpath);
}

int runmovelist(const identity &id, int argc, char **argv)
{
    int first = readopts(id, argc, argv);
    if (argc - first < 3)
        usage();
    const char *srcdir = argv[first], *dstdir = argv[first + 1], *listname = argv[first + 2];
    listfile list = {fopen(listname, "rb"), false};
    if (list.stream == nullptr) {
        fprintf(msgout, "%s: %s: %s\n", progname, listname, errtext(errno));
        exit(1);
    }
    int status = 0;
    uint32_t lineno = 0;
    std::string line;
    while (readline(list, line)) {
        lineno++;
        const char *name = namefield(line);
        if (line.size() > 11 && line.find('\0', 11) != std::string::npos) {
            // A NUL byte would cut the path short and name another item.
            fprintf(msgout, "%s: line %lu : NUL byte in the path, line skipped\n", progname,
                    (unsigned long)lineno);
            status = 1;
            continue;
        }
        ownedstr newpath(pathsubst(srcdir, dstdir, name));
        if (newpath == nullptr) {
            fprintf(msgout, "line %lu : not replace %s -> %s : \"%s\"\n", (unsigned long)lineno,
                    srcdir, dstdir, name);
            status = 1;
            break;
        }
        // A line whose transfer failed or was refused makes the run fail;
        // the list still goes on.
        if (moveline(line, name, newpath.get()) != 0)
            status = 1;
    }
    if (ferror(list.stream)) {
        // Reported as a list that cannot be opened: a directory opens on
        // POSIX but yields no line, and must not pass for an empty list.
        fprintf(msgout, "%s: %s: %s\n", progname, listname, errtext(errno));
        status = 1;
    }
    fclose(list.stream);
    return status;
}
