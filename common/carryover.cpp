// The metadata carry-over: every transfer reads the source's times before
// it, and writes them onto the destination after it, around a temporary
// clearing of the destination's read-only bit.
#include "transfer.h"

#include <cstdarg>

#include "frame.h"
#include "policy.h"

static const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
static const DWORD timeflags = FILE_FLAG_BACKUP_SEMANTICS | FILE_ATTRIBUTE_NORMAL;

void callreport(const char *path, const char *format, ...)
{
    syserr("%s: ", path);
    va_list ap;
    va_start(ap, format);
    vfprintf(msgout, format, ap);
    va_end(ap);
}

void keepolder(FILETIME *t, const FILETIME *other)
{
    if (CompareFileTime(t, other) > 0)
        *t = *other;
}

void readsrctimes(const char *from, srctimes *t)
{
    *t = srctimes{};
    HANDLE h = CreateFileA(from, GENERIC_READ, sharing, nullptr, OPEN_EXISTING, timeflags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        callreport(from, "\tCreateFile(%s)=INVALID_HANDLE_VALUE\n", from);
        return;
    }
    t->opened = true;
    t->read = GetFileTime(h, &t->creation, &t->access, &t->write) != 0;
    CloseHandle(h);
}

// An existing destination file keeps its creation time when that is the
// earlier one.  A destination that cannot be opened merges nothing.
void mergefiletimes(srctimes *t, const char *to)
{
    HANDLE h = CreateFileA(to, GENERIC_WRITE, sharing, nullptr, OPEN_EXISTING, timeflags, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    FILETIME creation;
    BOOL read = GetFileTime(h, &creation, nullptr, nullptr);
    CloseHandle(h);
    if (read)
        keepolder(&t->creation, &creation);
}

bool mergedirtimes(srctimes *t, const char *to, bool report)
{
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(to, GetFileExInfoStandard, &info)) {
        if (report)
            callreport(to, "\tGetFileAttributesEx(%s)=0\n", to);
        return false;
    }
    keepolder(&t->creation, &info.ftCreationTime);
    keepolder(&t->write, &info.ftLastWriteTime);
    return true;
}

DWORD unlockdest(const char *to)
{
    DWORD attributes = GetFileAttributesA(to);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        callreport(to, "\tGetFileAttributes(%s)=%d\n", to, (int)attributes);
        return attributes;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        DWORD writable = attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY;
        if (!SetFileAttributesA(to, writable))
            callreport(to, "\tSetFileAttributes(%s,0x%x)=0\n", to, (unsigned)writable);
    }
    return attributes;
}

void writetimes(const char *from, const srctimes *t, const char *to)
{
    if (!t->opened) {
        callreport(from, "\tCreateFile(%s)=0\n", from);
        return;
    }
    if (!t->read) {
        callreport(from, "\tGetFileTime(%s)=0\n", from);
        return;
    }
    HANDLE h = CreateFileA(to, GENERIC_WRITE, sharing, nullptr, OPEN_EXISTING, timeflags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        callreport(to, "\tCreateFile(%s)=0\n", to);
        return;
    }
    if (!SetFileTime(h, &t->creation, &t->access, &t->write))
        callreport(to, "\tSetFileTime(%s)=0\n", to);
    CloseHandle(h);
}

void relockdest(const char *to, DWORD attributes)
{
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
        return;
    if (!SetFileAttributesA(to, attributes))
        callreport(to, "\tSetFileAttributes(%s,0x%x)=0\n", to, (unsigned)attributes);
}

int carryfile(const char *from, const char *to, bool (*transfer)(const char *, const char *))
{
    trace(from, to);
    srctimes times;
    readsrctimes(from, &times);
    if (tflag)
        mergefiletimes(&times, to);
    // A transfer that fails leaves the old destination as it was, with its
    // own times and attributes: only the failure is reported.
    if (!transfer(from, to)) {
        syserr("mvfile2newfile() ");
        fprintf(msgout, "\t%s -> %s\n", from, to);
        return 1;
    }
    DWORD attributes = unlockdest(to);
    writetimes(from, &times, to);
    relockdest(to, attributes);
    return 0;
}

// The file transfer as both variants guard it: a directory is refused, the
// user confirms, and an existing file is put to the overwrite policy.
int guardedtransfer(const char *from, const char *to)
{
    DWORD attributes = GetFileAttributesA(to);
    bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        fprintf(msgout, "%s: cannot %s file to a directory.\n", progname, opname);
        fprintf(msgout, "\t%s -> %s\n", from, to);
        return 1;
    }
    if (!confirm(from, to))
        return 0;
    if (!exists)
        return mvfile2newfile(from, to) != 0;
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) {
        if (!askoverwrite(to))
            return 0;
        return mvfile2newfile(from, to) != 0;
    }
    if (!askrooverwrite(to))
        return 0;
    DWORD sourceattributes = GetFileAttributesA(from);
    DWORD writable = attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY;
    if (!SetFileAttributesA(to, writable))
        callreport(to, "\tSetFileAttributes(%s,0x%x)=0\n", to, (unsigned)writable);
    if (mvfile2newfile(from, to) == 0) {
        // A read-only source stays read-only where it now stands, also when
        // the file made writable above was the source itself (moved onto
        // its own path, or onto another name of the same file).
        if (sourceattributes != INVALID_FILE_ATTRIBUTES &&
            (sourceattributes & FILE_ATTRIBUTE_READONLY) &&
            !(GetFileAttributesA(to) & FILE_ATTRIBUTE_READONLY))
            relockdest(to, sourceattributes);
        return 0;
    }
    // The old file is still in place: it keeps its read-only bit.
    if (GetFileAttributesA(to) != INVALID_FILE_ATTRIBUTES)
        relockdest(to, attributes);
    return 1;
}
