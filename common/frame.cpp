// The tool frame: identity, streams, option syntax, reports, allocation and
// the expansion of wildcard arguments.
#include "frame.h"

#include <cctype>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "paths.h"

const char *cmdname = "";
const char *progname = "";
const char *opname = "";
FILE *msgout = stdout;
DWORD lasterror;

int cflag = 1, dflag, fflag, iflag, lflag, nflag, oflag, rflag, sflag, tflag, vflag, wflag,
    yflag, zflag;
const char *logfile;

static const char *usageline = "";

int haswild(const char *arg)
{
    // -? and /? ask for help; they are never searched for.
    if ((arg[0] == '-' || arg[0] == '/') && arg[1] == '?' && arg[2] == '\0')
        return 0;
    for (const char *p = arg; *p; p++) {
        if (IsDBCSLeadByte((BYTE)*p) && p[1] != '\0') {
            p++; // the second byte of a double-byte character is never a wildcard
            continue;
        }
        if (*p == '*' || *p == '?')
            return 1;
    }
    return 0;
}

// Before the options are read there is no progname, and messages go to
// standard error under the name the program was invoked by.
void nomemory()
{
    if (*progname)
        fprintf(msgout, "%s: inadequate memory.\n", progname);
    else
        fprintf(stderr, "%s: inadequate memory.\n", cmdname);
    exit(1);
}

void *xalloc(size_t size)
{
    void *p = malloc(size < 64 ? 64 : size);
    if (p == nullptr)
        nomemory();
    return p;
}

char *xstrdup(const char *s)
{
    size_t n = strlen(s) + 1;
    char *copy = (char *)xalloc(n);
    memcpy(copy, s, n);
    return copy;
}

void usage()
{
    fprintf(stderr, usageline, progname);
    exit(1);
}

const char *errtext(int err)
{
    static char text[512];
    snprintf(text, sizeof text, "%s\n", strerror(err));
    return text;
}

void syserr(const char *format, ...)
{
    lasterror = GetLastError();
    fprintf(msgout, "%s: error %d ", progname, (int)lasterror);
    if (format != nullptr && *format != '\0') {
        va_list ap;
        va_start(ap, format);
        vfprintf(msgout, format, ap);
        va_end(ap);
    }
    char *text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, lasterror, 0x400, (LPSTR)&text, 0, nullptr);
    if (n != 0 && text != nullptr)
        fprintf(msgout, "%s", text);
    else
        fprintf(msgout, "Unknown error %lu\n", (unsigned long)lasterror);
    if (text != nullptr)
        LocalFree(text);
}

void trace(const char *from, const char *to)
{
    if (vflag)
        printf("%s -> %s\n", from, to);
}

static void setflag(int letter)
{
    switch (letter) {
    case 'C': cflag = 1; break;
    case 'D': dflag = 1; break;
    case 'F': fflag = 1; break;
    case 'I': iflag = 1; break;
    case 'N': nflag = 1; break;
    case 'O': oflag = 1; break;
    case 'R': rflag = 1; break;
    case 'S': sflag = 1; dflag = 1; break; // nothing is created, so no file either
    case 'T': tflag = 1; break;
    case 'V': vflag = 1; break;
    case 'W': wflag = 1; break;
    case 'Y': yflag = 1; break;
    case 'Z': zflag = 1; break;
    }
}

static void openlog()
{
    FILE *f = fopen(logfile, "w");
    if (f == nullptr) {
        fprintf(stderr, "%s: ", progname);
        fflush(stderr); // perror writes past the stream's buffer, which Windows' stderr has
        perror(logfile);
        return;
    }
    msgout = f;
}

int readopts(const identity &id, int argc, char **argv)
{
    msgout = stdout;
    progname = id.name;
    opname = id.verb;
    usageline = id.usageline;

    int i = 1;
    while (i < argc && (argv[i][0] == '-' || argv[i][0] == '/')) {
        const char *arg = argv[i++];
        if (strcmp(arg, "--") == 0)
            break;
        for (const char *p = arg + 1; *p; p++) {
            int letter = toupper((unsigned char)*p);
            if (letter == '-' || letter == '/')
                continue;
            if (letter == 'H' || letter == '?')
                usage();
            if (letter == 'L') {
                lflag = 1;
                if (i < argc)
                    logfile = argv[i++]; // whatever it begins with
                continue;
            }
            if (strchr(id.letters, letter) == nullptr) {
                fprintf(stderr, "%s: bad option %c\n", progname, *p);
                usage();
            }
            setflag(letter);
        }
    }
    if (i >= argc)
        usage();
    if (lflag)
        openlog();
    return i;
}

// Each pattern becomes the names it matches, joined to its directory part,
// in the order the system yields them.
int expandargs(int argc, char **argv, int *newargc, char ***newargv)
{
    *newargc = argc;
    *newargv = argv;
    int patterns = 0;
    for (int i = 1; i < argc; i++)
        patterns += haswild(argv[i]);
    if (patterns == 0)
        return 0;

    // The vector lives until the process ends.
    auto *args = new std::vector<char *>;
    args->push_back(argv[0]);
    for (int i = 1; i < argc; i++) {
        if (!haswild(argv[i])) {
            args->push_back(argv[i]);
            continue;
        }
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(argv[i], &found);
        if (search == INVALID_HANDLE_VALUE) {
            fprintf(stderr, "%s: %s: argument not matched.\n", cmdname, argv[i]);
            return 1;
        }
        ownedstr dir(pathhead(argv[i]));
        do {
            if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
                args->push_back(pathjoin(dir.get(), found.cFileName));
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    args->push_back(nullptr);
    *newargc = (int)args->size() - 1;
    *newargv = args->data();
    return 0;
}
