// The attribute word: read from the mode bits, and the read-only bit
// written back to them.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

#include "posix.h"

// Read-only means nobody may write: none of the three write bits is set.
bool isreadonly(mode_t mode)
{
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

DWORD attrword(mode_t mode)
{
    if (S_ISLNK(mode))
        return FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE;
    DWORD word = S_ISDIR(mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (isreadonly(mode))
        word |= FILE_ATTRIBUTE_READONLY;
    return word;
}

// A user's path is followed to what it names; only a dangling link (or a
// loop) is described as the link it is.  The item itself is looked at
// first: most are no links, and a missing one is answered in one call.
static bool statfollowing(const std::string &p, unsigned mask, struct statx *sx, bool *islink)
{
    struct statx target;

    *islink = false;
    if (statx(AT_FDCWD, p.c_str(), AT_SYMLINK_NOFOLLOW, mask, sx) != 0)
        return false;
    if (!S_ISLNK(sx->stx_mode))
        return true;
    if (statx(AT_FDCWD, p.c_str(), 0, mask, &target) == 0) {
        *sx = target;
        return true;
    }
    if (errno != ENOENT && errno != ELOOP)
        return false;
    *islink = true;
    return true;
}

DWORD GetFileAttributesA(LPCSTR path)
{
    std::string p = syspath(path);
    struct statx sx;
    bool islink;

    if (!statfollowing(p, STATX_TYPE | STATX_MODE, &sx, &islink)) {
        seterrno(errno, p);
        return INVALID_FILE_ATTRIBUTES;
    }
    return attrword(sx.stx_mode);
}

BOOL GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID info)
{
    WIN32_FILE_ATTRIBUTE_DATA *data = static_cast<WIN32_FILE_ATTRIBUTE_DATA *>(info);
    std::string p, record;
    struct statx sx;
    bool islink;
    uint64_t size;

    if (path == nullptr || level != GetFileExInfoStandard || data == nullptr) {
        setlasterror(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    p = syspath(path);
    if (!statfollowing(p, STATX_BASIC_STATS | STATX_BTIME, &sx, &islink)) {
        seterrno(errno, p);
        return FALSE;
    }
    if (!islink)
        readxattr(-1, p, true, DOSATTRIB, &record);
    data->dwFileAttributes = attrword(sx.stx_mode);
    itemtimes(sx, record, &data->ftCreationTime, &data->ftLastAccessTime,
              &data->ftLastWriteTime);
    size = S_ISREG(sx.stx_mode) ? sx.stx_size : 0;
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    return TRUE;
}

// Keeps the read-only bit of an existing creation-time record in step
// with the mode, so that a Samba client sees the same attributes.
static void recordreadonly(const std::string &p, mode_t mode, bool readonly)
{
    std::string blob;
    dosrecord rec;

    if (!readxattr(-1, p, false, DOSATTRIB, &blob) || !decoderecord(blob, &rec))
        return;
    if (!rec.hasattrib) {
        rec.hasattrib = true;
        rec.attrib = attrword(mode) & ~FILE_ATTRIBUTE_READONLY;
    }
    if (readonly)
        rec.attrib |= FILE_ATTRIBUTE_READONLY;
    else
        rec.attrib &= ~FILE_ATTRIBUTE_READONLY;
    writexattr(-1, p, DOSATTRIB, encoderecord(rec));
}

static int chmodhere(const std::string &p, mode_t mode)
{
    struct stat st;

    // Never through a link, should one take the item's place meanwhile.
    if (fchmodat(AT_FDCWD, p.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0)
        return 0;
    if (errno != ENOTSUP && errno != ENOSYS)
        return -1;
    // Refused for a link, or no /proc for the library to do it with.
    if (lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return 0;
    return fchmodat(AT_FDCWD, p.c_str(), mode, 0);
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes)
{
    std::string p = syspath(path);
    bool readonly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    struct stat st;
    mode_t mode;

    if (lstat(p.c_str(), &st) != 0) {
        seterrno(errno, p);
        return FALSE;
    }
    if (S_ISLNK(st.st_mode))
        return TRUE; // a link's own attributes cannot change
    mode = st.st_mode & 07777;
    mode = readonly ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
    // The record can be written only while the item is writable: before
    // the write bits go, or after they come back.
    if (readonly)
        recordreadonly(p, st.st_mode, true);
    if (mode != (st.st_mode & 07777) && chmodhere(p, mode) != 0) {
        seterrno(errno, p);
        return FALSE;
    }
    if (!readonly)
        recordreadonly(p, st.st_mode, false);
    return TRUE;
}
