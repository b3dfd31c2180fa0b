// The move list: one item a line, its new path the old one with the text
// srcdir replaced by dstdir.
#include "movelist.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "../common/transfer.h"

// One line of DOS text, whatever its length: carriage returns are dropped
// wherever they stand and Ctrl-Z ends the list.  False at the end.
static bool readline(FILE *list, std::string &line)
{
    line.clear();
    int c;
    bool any = false;
    while ((c = getc(list)) != EOF) {
        if (c == 0x1A) {
            fseek(list, 0, SEEK_END); // nothing after Ctrl-Z is read
            break;
        }
        any = true;
        if (c == '\n')
            return true;
        if (c != '\r')
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
    FILE *list = fopen(listname, "rb");
    if (list == nullptr) {
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
    fclose(list);
    return status;
}
