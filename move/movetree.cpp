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

static int cleanup(const char *dir)
{
    return dflag ? 0 : removesource(dir); // -d keeps emptied source directories
}

int mvdir2olddir(const char *from, const char *to)
{
    return fillolddir(from, to, cleanup);
}

int mvdir2newdir(const char *from, const char *to)
{
    trace(from, to);
    DWORD destattributes;
    if (refusedir2file(from, to, &destattributes))
        return 1;
    if (MoveFileA(from, to))
        return 0;
    if (GetLastError() != ERROR_ACCESS_DENIED) {
        syserr("mvdir2newdir() ");
        fprintf(msgout, "\t%s -> %s\n", from, to);
        return 1;
    }
    // Refused as a whole (on another file system, for one): piece by piece.
    return filldir(from, to, destattributes, mvdir2olddir);
}
