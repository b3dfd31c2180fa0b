// What the POSIX stand-in's files share: path conversion, the one point
// where a system error becomes a Windows error code, the attribute word,
// file times and the creation-time record.
#ifndef PLATFORM_POSIX_H
#define PLATFORM_POSIX_H

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "../winfile.h"

// A path as the system takes it: every '\' becomes '/'.
std::string syspath(const char *path);

// The directory part and the last component of a system path, lexically.
// A trailing '/' is ignored; a bare name lives in ".".
std::string parentof(const std::string &path);
std::string lastof(const std::string &path);

// Sets the calling thread's last error from a system error number.  For
// ENOENT, path (when given) decides between "file not found" (2) and "path
// not found" (3): the latter when the directory that should hold it is
// missing, looked at only once the code is asked for.  Every system
// failure of the layer passes through here.
void seterrno(int err, const std::string &path = std::string());

// Sets a code that no system error stands behind (32 for the same file,
// 50 for a FIFO, ...).
void setlasterror(DWORD code);

// The absolute form of path, '/'-separated, with the longest existing
// prefix resolved physically and the rest lexically.  No trailing '/'
// except for the root.  False with errno on failure.
bool fullname(const std::string &path, std::string *full);

// The target of the link name in directory dirfd (AT_FDCWD for a path),
// lstat'ed as st, leaving its access time as it was.  False with errno.
bool linktarget(int dirfd, const std::string &name, const struct stat &st, std::string *target);

// The attribute word of an item as lstat or stat describes it.
bool isreadonly(mode_t mode);
DWORD attrword(mode_t mode);

// File times: 100 ns units since 1601, plus the nanoseconds below.
FILETIME tofiletime(int64_t sec, uint32_t nsec);
struct timespec totimespec(const FILETIME &ft);
bool iszerotime(const FILETIME &ft);

// The creation-time record that Samba keeps in user.DOSATTRIB.
extern const char DOSATTRIB[];
struct dosrecord {
    bool hasattrib = false;
    bool hascreate = false;
    uint32_t attrib = 0;
    uint64_t create = 0; // 100 ns units since 1601
};
bool decoderecord(const std::string &blob, dosrecord *rec);
std::string encoderecord(const dosrecord &rec);

// Reads an extended attribute of an item: through fd when fd >= 0, else by
// path, following a final link only when follow is set.  False with errno
// (ENODATA when there is none).
bool readxattr(int fd, const std::string &path, bool follow, const char *name,
               std::string *value);
bool writexattr(int fd, const std::string &path, const char *name, const std::string &value);
bool xattrunsupported(int err);

// Opens a regular file or directory by path with open's flags, without
// changing its access time where the system permits it.
int openitem(const std::string &path, int flags);

// The three times of an item: the statx result (with STATX_BTIME asked
// for) and its record blob, which may be empty.
struct statx;
void itemtimes(const struct statx &sx, const std::string &record, FILETIME *creation,
               FILETIME *access, FILETIME *write);

// Writes a creation time into the record of the item open as fd (or named
// by path when fd < 0, never through a final link), keeping its hidden and
// system bits and making its read-only bit agree with mode.  The item's
// record as it stands is read, unless known gives it (empty for none); a
// record that would not change is not written.  A file system without
// user extended attributes is no error.  False with errno.
bool writecreation(int fd, const std::string &path, mode_t mode, uint64_t create,
                   const std::string *known);

#endif
