// Moving directory trees: a rename in one step where the system allows it,
// otherwise entry by entry, removing each emptied source directory.
#include "../common/frame.h"
#include "../common/transfer.h"

static void setattributes(const char *path, DWORD attributes)
{
    if (!SetFileAttributesA(path, attributes))
        callreport(path, "\tSetFileAttributes(%s,0x%x)=%d\n", path, (unsigned)attributes, 0);
}

// Removes an emptied source directory.  One that still holds entries (some
// were declined or failed) stays, with its read-only bit; that is no
// failure.
static int removesource(const char *dir)
{
    DWORD attributes = GetFileAttributesA(dir);
    bool readonly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readonly)
        setattributes(dir, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);
    if (RemoveDirectoryA(dir))
        return 0;
    DWORD error = GetLastError();
    if (error != ERROR_DIR_NOT_EMPTY)
        callreport(dir, "\tRemoveDirectory(%s)=%d\n", dir, 0);
    // A directory that stays keeps its read-only bit.
    if (readonly)
        setattributes(dir, attributes);
    return error != ERROR_DIR_NOT_EMPTY;
}

int mvdir2olddir(const char *from, const char *to)
{
    srctimes times;
    readsrctimes(from, &times);
    if (times.opened && oflag)
        mergedirtimes(&times, to, true);
    entry *list;
    // A directory whose listing cannot be read was not moved; its contents
    // stay where they are.
    int failed = readentries(from, &list);
    if (transferentries(list, to) != 0)
        failed = 1;
    if (!dflag && removesource(from) != 0)
        failed = 1;
    DWORD attributes = unlockdest(to);
    writetimes(from, &times, to);
    relockdest(to, attributes);
    return failed;
}

int mvdir2newdir(const char *from, const char *to)
{
    trace(from, to);
    DWORD destattributes = GetFileAttributesA(to);
    bool exists = destattributes != INVALID_FILE_ATTRIBUTES;
    if (exists && !(destattributes & FILE_ATTRIBUTE_DIRECTORY)) {
        fprintf(msgout, "%s: cannot %s directory to a file.\n", progname, opname);
        fprintf(msgout, "\t%s -> %s\n", from, to);
        return 1;
    }
    DWORD attributes = GetFileAttributesA(from);
    if (MoveFileA(from, to))
        return 0;
    if (GetLastError() != ERROR_ACCESS_DENIED) {
        syserr("mvdir2newdir() ");
        fprintf(msgout, "\t%s -> %s\n", from, to);
        return 1;
    }
    // Refused as a whole (on another file system, for one): piece by piece.
    srctimes times;
    readsrctimes(from, &times);
    if (times.opened && oflag)
        mergedirtimes(&times, to, false);
    if (!exists && !CreateDirectoryExA(from, to, nullptr)) {
        callreport(to, "\tCreateDirectoryEx(%s,%s)\n", from, to);
        return 1;
    }
    unlockdest(to);
    int failed = mvdir2olddir(from, to);
    writetimes(from, &times, to);
    relockdest(to, attributes);
    return failed != 0;
}
