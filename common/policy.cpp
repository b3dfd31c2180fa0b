// Confirmation and the overwrite policy.  Standing answers, given as
// options or typed at a prompt, hold for the rest of the run.
#include "policy.h"

#include <cctype>
#include <cstdarg>
#include <cstring>

#include "frame.h"

char answer[256];

// Prompts go to standard output even while a log file is open.  End of
// input counts as no: an earlier answer is never taken again, so a script
// that runs out of answers cannot overwrite anything by accident.
static void readanswer(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    vprintf(format, ap);
    va_end(ap);
    fflush(stdout);
    if (fgets(answer, sizeof answer, stdin) == nullptr) {
        answer[0] = '\0';
        return;
    }
    // The rest of an overlong line must not answer the next prompt.
    if (strchr(answer, '\n') == nullptr) {
        int c;
        while ((c = getchar()) != EOF && c != '\n')
            ;
    }
}

// Enter alone means yes.  A carriage return counts too, for answers
// written with DOS line ends.
static bool lineend(char c)
{
    return c == '\n' || c == '\r';
}

int confirm(const char *from, const char *to)
{
    if (!iflag)
        return 1;
    readanswer("%s -> %s? y/n/q: ", from, to);
    if (lineend(answer[0]))
        return 1;
    switch (toupper((unsigned char)answer[0])) {
    case 'Y':
        return 1;
    case 'Q':
        exit(1);
    default:
        return 0;
    }
}

struct standing {
    int *always;  // overwrite without asking
    int *ifempty; // overwrite empty files without asking
    int *never;   // never overwrite
};

static int askpolicy(const standing &s, const char *prompt, const char *path)
{
    if (*s.always)
        return 1;
    if (*s.ifempty && isempty(path))
        return 1;
    if (*s.never)
        return 0;
    readanswer(prompt, path);
    if (lineend(answer[0]))
        return 1;
    switch (toupper((unsigned char)answer[0])) {
    case 'A':
        *s.always = 1;
        return 1;
    case 'U':
        *s.never = 1;
        return 0;
    case '0':
        *s.ifempty = 1; // this file is overwritten whatever its length
        return 1;
    case 'Y':
        return 1;
    default:
        return 0;
    }
}

int askoverwrite(const char *path)
{
    printf("overwite(%s)\n", path);
    return askpolicy({&yflag, &zflag, &nflag}, "%s: overwrite? y/n/a/u/0: ", path);
}

int askrooverwrite(const char *path)
{
    return askpolicy({&fflag, &wflag, &rflag}, "%s: read-only file, overwrite? y/n/a/u/0: ", path);
}

int isempty(const char *path)
{
    printf("file=%s ", path);
    // No sharing: a file that another process holds open counts as not empty.
    HANDLE h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        printf("INVALID_HANDLE_VALUE \n");
        return 0;
    }
    DWORD high = 0, error = 0;
    DWORD low = GetFileSize(h, &high);
    int empty;
    if (low == INVALID_FILE_SIZE && (error = GetLastError()) != 0)
        empty = 0;
    else
        empty = low == 0 && high == 0;
    CloseHandle(h);
    printf("lerr=%lu,high=%lu,low=%lu,ret=%d\n", (unsigned long)error, (unsigned long)high,
           (unsigned long)low, empty);
    return empty;
}
