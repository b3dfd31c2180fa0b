// Handles and file times: CreateFileA, GetFileTime, SetFileTime and the
// rest, the file-time conversion and the creation-time record.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <vector>

#include "posix.h"

const char DOSATTRIB[] = "user.DOSATTRIB";

// Seconds from 1601 to 1970.
static const int64_t EPOCHDIFF = 11644473600LL;
static const uint64_t UNITS = 10000000; // 100 ns units per second

enum { VALIDATTRIB = 0x1, VALIDCREATE = 0x10 };
enum { DOSHIDDEN = 0x2, DOSSYSTEM = 0x4 };

FILETIME tofiletime(int64_t sec, uint32_t nsec)
{
    FILETIME ft = {0, 0, 0};
    uint64_t t;

    if (sec < -EPOCHDIFF)
        return ft;
    // Added unsigned: a time near the largest a file system keeps (tmpfs
    // takes any 64-bit second) would overflow a signed sum.
    uint64_t since1601 = static_cast<uint64_t>(sec) + static_cast<uint64_t>(EPOCHDIFF);
    if (since1601 > UINT64_MAX / UNITS - 1)
        t = UINT64_MAX;
    else
        t = since1601 * UNITS + nsec / 100;
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    ft.dwNanoseconds = nsec % 100;
    return ft;
}

static uint64_t units(const FILETIME &ft)
{
    return static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}

struct timespec totimespec(const FILETIME &ft)
{
    struct timespec ts;
    uint64_t t = units(ft);

    ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(t / UNITS) - EPOCHDIFF);
    ts.tv_nsec = static_cast<long>(t % UNITS) * 100 + (ft.dwNanoseconds < 100 ? ft.dwNanoseconds : 99);
    return ts;
}

// A zero time asks to leave that time as it is, as on the target platform.
bool iszerotime(const FILETIME &ft)
{
    return ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0 && ft.dwNanoseconds == 0;
}

LONG CompareFileTime(const FILETIME *a, const FILETIME *b)
{
    uint64_t ta = units(*a), tb = units(*b);

    if (ta != tb)
        return ta < tb ? -1 : 1;
    if (a->dwNanoseconds != b->dwNanoseconds)
        return a->dwNanoseconds < b->dwNanoseconds ? -1 : 1;
    return 0;
}

// The record is Samba's NDR encoding of xattr_DOSATTRIB: a NUL-terminated
// hex string (empty in current versions) aligned to 2 bytes, the u16
// version, the u16 union level aligned to 4 bytes, then the version's
// info structure, all little-endian with 4-byte alignment for 64-bit
// values:
//   3: valid_flags, attrib, ea_size, size(8), alloc_size(8), create(8), change(8)
//   4: valid_flags, attrib, itime(8), create(8)
//   5: valid_flags, attrib, create(8)
static uint64_t getle(const std::string &b, size_t at, int bytes)
{
    uint64_t v = 0;

    for (int i = bytes - 1; i >= 0; i--)
        v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

static void putle(std::string *b, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        *b += static_cast<char>(v >> (8 * i) & 0xff);
}

bool decoderecord(const std::string &blob, dosrecord *rec)
{
    size_t nul = blob.find('\0'), pos, createat, need;
    unsigned version;
    uint32_t valid;

    if (nul == std::string::npos)
        return false;
    pos = (nul + 2) & ~static_cast<size_t>(1);
    if (blob.size() < pos + 4)
        return false;
    version = static_cast<unsigned>(getle(blob, pos, 2));
    pos = (pos + 4 + 3) & ~static_cast<size_t>(3);
    switch (version) {
    case 3:
        createat = 28, need = 44;
        break;
    case 4:
        createat = 16, need = 24;
        break;
    case 5:
        createat = 8, need = 16;
        break;
    default:
        return false;
    }
    if (blob.size() < pos + need)
        return false;
    valid = static_cast<uint32_t>(getle(blob, pos, 4));
    rec->hasattrib = (valid & VALIDATTRIB) != 0;
    rec->attrib = rec->hasattrib ? static_cast<uint32_t>(getle(blob, pos + 4, 4)) : 0;
    rec->create = getle(blob, pos + createat, 8);
    rec->hascreate = (valid & VALIDCREATE) != 0 && rec->create != 0;
    if (!rec->hascreate)
        rec->create = 0;
    return true;
}

// Always version 5, the layout that current Samba writes.
std::string encoderecord(const dosrecord &rec)
{
    std::string b;
    uint32_t valid = (rec.hasattrib ? VALIDATTRIB : 0) | (rec.hascreate ? VALIDCREATE : 0);

    b.append(2, '\0'); // the empty hex string, padded
    putle(&b, 5, 2);
    putle(&b, 5, 4);
    putle(&b, valid, 4);
    putle(&b, rec.hasattrib ? rec.attrib : 0, 4);
    putle(&b, rec.hascreate ? rec.create : 0, 8);
    return b;
}

bool readxattr(int fd, const std::string &path, bool follow, const char *name,
               std::string *value)
{
    std::vector<char> buf(128);

    for (;;) {
        ssize_t n;
        if (fd >= 0)
            n = fgetxattr(fd, name, buf.data(), buf.size());
        else if (follow)
            n = getxattr(path.c_str(), name, buf.data(), buf.size());
        else
            n = lgetxattr(path.c_str(), name, buf.data(), buf.size());
        if (n >= 0) {
            value->assign(buf.data(), n);
            return true;
        }
        if (errno != ERANGE || buf.size() > 1 << 20)
            return false;
        buf.resize(buf.size() * 4);
    }
}

bool writexattr(int fd, const std::string &path, const char *name, const std::string &value)
{
    if (fd >= 0)
        return fsetxattr(fd, name, value.data(), value.size(), 0) == 0;
    return lsetxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

bool xattrunsupported(int err)
{
    return err == ENOTSUP || err == EOPNOTSUPP;
}

static FILETIME fromunits(uint64_t t)
{
    FILETIME ft;

    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    ft.dwNanoseconds = 0;
    return ft;
}

void itemtimes(const struct statx &sx, const std::string &record, FILETIME *creation,
               FILETIME *access, FILETIME *write)
{
    dosrecord rec;
    FILETIME c;

    if (!record.empty() && decoderecord(record, &rec) && rec.hascreate)
        c = fromunits(rec.create);
    else if (sx.stx_mask & STATX_BTIME)
        c = tofiletime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    else
        c = tofiletime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    if (creation != nullptr)
        *creation = c;
    if (access != nullptr)
        *access = tofiletime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
    if (write != nullptr)
        *write = tofiletime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
}

bool writecreation(int fd, const std::string &path, mode_t mode, uint64_t create,
                   const std::string *known)
{
    std::string old, blob;
    dosrecord rec;
    uint32_t keep = 0;

    if (S_ISLNK(mode))
        return true; // a link holds no user attributes
    if (known != nullptr)
        old = *known;
    else if (!readxattr(fd, path, false, DOSATTRIB, &old))
        old.clear();
    if (decoderecord(old, &rec) && rec.hasattrib)
        keep = rec.attrib & (DOSHIDDEN | DOSSYSTEM);
    rec.hasattrib = true;
    rec.attrib = keep | attrword(mode);
    rec.hascreate = create != 0;
    rec.create = create;
    blob = encoderecord(rec);
    if (blob == old)
        return true; // already so, as after a copy that kept the record
    if (writexattr(fd, path, DOSATTRIB, blob))
        return true;
    return xattrunsupported(errno);
}

// A handle from CreateFileA.  An open for an item's times (backup
// semantics, sharing) holds no descriptor: it names the item by path and
// keeps what one statx told of it, which is all that reading and writing
// times need, and opening nothing leaves the access time alone.  Any
// other open holds a descriptor of the item itself: the open that shares
// nothing needs one for its lease.
struct filehandle {
    uint32_t magic;
    int fd;        // -1 for a handle by path
    bool pathonly; // an O_PATH descriptor: names the item, cannot read it
    bool leased;
    bool writable; // opened with GENERIC_WRITE
    mode_t type;
    std::string path;
    struct statx sx; // a handle by path: the item as last looked at
    bool current;    // sx still tells the item's times: none were written since
};
static const uint32_t FILEMAGIC = 0x46696c65;
static const unsigned TIMESMASK = STATX_BASIC_STATS | STATX_BTIME;

static filehandle *handleof(HANDLE h)
{
    filehandle *fh = static_cast<filehandle *>(h);

    if (h == nullptr || h == INVALID_HANDLE_VALUE || fh->magic != FILEMAGIC) {
        setlasterror(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return fh;
}

int openitem(const std::string &path, int flags)
{
    int base = flags | O_CLOEXEC | O_NOCTTY;
    int fd = open(path.c_str(), base | O_NOATIME | O_NONBLOCK);

    if (fd < 0 && errno == EPERM) // O_NOATIME is for the owner only
        fd = open(path.c_str(), base | O_NONBLOCK);
    // O_NONBLOCK keeps a FIFO put in the file's place from blocking us; a
    // regular file refuses it only while another process holds a lease,
    // and then we wait for that lease like any opener.
    if (fd < 0 && errno == EWOULDBLOCK) {
        fd = open(path.c_str(), base | O_NOATIME);
        if (fd < 0 && errno == EPERM)
            fd = open(path.c_str(), base);
    }
    return fd;
}

// Regular files and directories are opened for real; anything else (a
// link, a FIFO, a device) only named, so that opening has no effect.
static int openhandle(const std::string &path, mode_t type, DWORD access, bool *pathonly)
{
    int fd;

    *pathonly = false;
    if (S_ISREG(type) && (access & (GENERIC_READ | GENERIC_WRITE))) {
        int mode = O_RDONLY;
        if (access & GENERIC_WRITE)
            mode = access & GENERIC_READ ? O_RDWR : O_WRONLY;
        return openitem(path, mode | O_NOFOLLOW);
    }
    if (S_ISDIR(type)) {
        fd = openitem(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (fd >= 0 || errno != EACCES)
            return fd;
    }
    *pathonly = true;
    return open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
}

// The open that shares nothing: a write lease is granted only while no
// other descriptor of the file is open anywhere, which is the question.
// Where leases are not to be had (another owner, a file system without
// them), the system cannot tell and the open goes ahead.
static bool takelease(int fd, bool *leased)
{
    // Breaking our lease signals us; SIGIO would end the process, SIGURG
    // is ignored unless someone asks for it.
    fcntl(fd, F_SETSIG, SIGURG);
    *leased = fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
    return *leased || errno != EAGAIN;
}

static bool sameitem(const struct statx &a, const struct statx &b)
{
    return a.stx_dev_major == b.stx_dev_major && a.stx_dev_minor == b.stx_dev_minor &&
           a.stx_ino == b.stx_ino;
}

// The effective user, asked once: it decides below whose files are the
// caller's own, and the programs never change it.  A child of fork may
// (the tests' helpers do), so there it is asked again.
static thread_local uid_t euid;
static thread_local bool euidknown;

static void forgeteuid()
{
    euidknown = false;
}

static uid_t effectiveuser()
{
    static const int registered = pthread_atfork(nullptr, nullptr, forgeteuid);

    (void)registered;
    if (!euidknown) {
        euid = geteuid();
        euidknown = true;
    }
    return euid;
}

// A file whose data the caller could not open for the access asked is
// not opened for its times either.  Its owner is decided for by the
// owner's bits, as the system decides (an access list's owner entry is
// those bits), without asking; anyone else, or an owner the bits refuse
// (a capability may still allow), asks the system.  A read-only file
// system shows only when a write is tried.  Directories open for their
// times whatever their bits, and other items are only named.
static bool mayopen(const std::string &p, const struct statx &sx, DWORD access)
{
    mode_t ownerbits = 0;
    int want = 0;

    if (!S_ISREG(sx.stx_mode))
        return true;
    if (access & GENERIC_READ) {
        want |= R_OK;
        ownerbits |= S_IRUSR;
    }
    if (access & GENERIC_WRITE) {
        // Not even the superuser may open these for plain writing.
        if (sx.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) {
            errno = EPERM;
            return false;
        }
        want |= W_OK;
        ownerbits |= S_IWUSR;
    }
    if (want == 0)
        return true;
    if (sx.stx_uid == effectiveuser() && (sx.stx_mode & ownerbits) == ownerbits)
        return true;
    return faccessat(AT_FDCWD, p.c_str(), want, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0;
}

static HANDLE openbypath(const std::string &p, const struct statx &sx, DWORD access)
{
    if (!mayopen(p, sx, access)) {
        seterrno(errno, p);
        return INVALID_HANDLE_VALUE;
    }
    return new filehandle{FILEMAGIC, -1, false, false, (access & GENERIC_WRITE) != 0,
                          static_cast<mode_t>(sx.stx_mode & S_IFMT), p, sx, true};
}

static HANDLE openbyfd(const std::string &p, const struct statx &sx, DWORD access, DWORD share)
{
    struct statx after;
    bool pathonly, leased = false;
    int fd;

    fd = openhandle(p, sx.stx_mode, access, &pathonly);
    if (fd < 0) {
        seterrno(errno, p);
        return INVALID_HANDLE_VALUE;
    }
    if (statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, TIMESMASK, &after) != 0 ||
        !sameitem(sx, after)) {
        close(fd); // replaced while we looked
        setlasterror(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    if (share == 0 && S_ISREG(after.stx_mode) && !pathonly && !takelease(fd, &leased)) {
        close(fd);
        setlasterror(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    return new filehandle{FILEMAGIC, fd, pathonly, leased, (access & GENERIC_WRITE) != 0,
                          static_cast<mode_t>(after.stx_mode & S_IFMT), p, after, true};
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE)
{
    std::string p;
    struct statx sx;

    if (path == nullptr || disposition != OPEN_EXISTING) {
        setlasterror(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    p = syspath(path);
    if (statx(AT_FDCWD, p.c_str(), AT_SYMLINK_NOFOLLOW, TIMESMASK, &sx) != 0) {
        seterrno(errno, p);
        return INVALID_HANDLE_VALUE;
    }
    if (S_ISDIR(sx.stx_mode) && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
        setlasterror(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // A read-only file cannot be opened for writing, whoever asks;
    // directories open for their times whatever their bit.
    if (S_ISREG(sx.stx_mode) && (access & GENERIC_WRITE) && isreadonly(sx.stx_mode)) {
        setlasterror(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if ((flags & FILE_FLAG_BACKUP_SEMANTICS) && share != 0)
        return openbypath(p, sx, access);
    return openbyfd(p, sx, access, share);
}

BOOL CloseHandle(HANDLE h)
{
    filehandle *fh = handleof(h);
    int r = 0;

    if (fh == nullptr)
        return FALSE;
    if (fh->leased)
        fcntl(fh->fd, F_SETLEASE, F_UNLCK);
    if (fh->fd >= 0)
        r = close(fh->fd);
    if (r != 0)
        seterrno(errno, fh->path);
    fh->magic = 0;
    delete fh;
    return r == 0;
}

// The item as it is now, unless what was seen of it still holds.  A
// handle by path fails when its path has come to name another item.
static bool lookagain(filehandle *fh)
{
    struct statx now;
    int r;

    if (fh->current)
        return true;
    if (fh->fd >= 0)
        r = statx(fh->fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, TIMESMASK, &now);
    else
        r = statx(AT_FDCWD, fh->path.c_str(), AT_SYMLINK_NOFOLLOW, TIMESMASK, &now);
    if (r != 0) {
        seterrno(errno, fh->path);
        return false;
    }
    if (!sameitem(now, fh->sx)) {
        setlasterror(ERROR_SHARING_VIOLATION);
        return false;
    }
    fh->sx = now;
    fh->current = true;
    return true;
}

BOOL GetFileTime(HANDLE h, FILETIME *creation, FILETIME *access, FILETIME *write)
{
    filehandle *fh = handleof(h);
    std::string record;

    if (fh == nullptr)
        return FALSE;
    if (fh->fd >= 0)
        fh->current = false; // a descriptor is looked at every time
    if (!lookagain(fh))
        return FALSE;
    if (creation != nullptr && !S_ISLNK(fh->type))
        readxattr(fh->fd < 0 || fh->pathonly ? -1 : fh->fd, fh->path, false, DOSATTRIB, &record);
    itemtimes(fh->sx, record, creation, access, write);
    return TRUE;
}

// Sets access and write times, never through a final link.
static bool settimes(const filehandle *fh, const struct timespec ts[2])
{
    if (fh->fd >= 0)
        return utimensat(fh->fd, "", ts, AT_EMPTY_PATH) == 0;
    return utimensat(AT_FDCWD, fh->path.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0;
}

static bool sametime(const struct timespec &t, const struct statx_timestamp &now)
{
    return t.tv_sec == now.tv_sec && t.tv_nsec == static_cast<long>(now.tv_nsec);
}

// Whether setting access and write times to ts would change nothing: each
// is left alone or is already the item's, as the handle saw it since its
// last write.  Only for an item whose times its owner could set: anyone
// else is refused even a change to the same times, and is told so.
static bool unchangedtimes(const filehandle *fh, const struct timespec ts[2])
{
    const struct statx &sx = fh->sx;
    bool setaccess = ts[0].tv_nsec != UTIME_OMIT, setwrite = ts[1].tv_nsec != UTIME_OMIT;

    if (!setaccess && !setwrite)
        return true;
    if (!fh->current || sx.stx_uid != effectiveuser() ||
        (sx.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)))
        return false;
    return (!setaccess || sametime(ts[0], sx.stx_atime)) &&
           (!setwrite || sametime(ts[1], sx.stx_mtime));
}

BOOL SetFileTime(HANDLE h, const FILETIME *creation, const FILETIME *access,
                 const FILETIME *write)
{
    filehandle *fh = handleof(h);
    struct timespec ts[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};

    if (fh == nullptr)
        return FALSE;
    if (!fh->writable) {
        setlasterror(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (access != nullptr && !iszerotime(*access))
        ts[0] = totimespec(*access);
    if (write != nullptr && !iszerotime(*write))
        ts[1] = totimespec(*write);
    if (!unchangedtimes(fh, ts)) {
        fh->current = false;
        if (!settimes(fh, ts)) {
            seterrno(errno, fh->path);
            return FALSE;
        }
    }
    if (creation == nullptr || iszerotime(*creation) || S_ISLNK(fh->type))
        return TRUE;
    // The record's read-only bit follows the mode, which a descriptor
    // tells afresh; a handle by path has it from its open.
    if (fh->fd >= 0 && !lookagain(fh))
        return FALSE;
    fh->current = false;
    if (!writecreation(fh->fd < 0 || fh->pathonly ? -1 : fh->fd, fh->path, fh->sx.stx_mode,
                       units(*creation), nullptr)) {
        seterrno(errno, fh->path);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileSize(HANDLE h, LPDWORD high)
{
    filehandle *fh = handleof(h);
    uint64_t size;

    if (fh == nullptr)
        return INVALID_FILE_SIZE;
    fh->current = false; // data may have come or gone since
    if (!lookagain(fh))
        return INVALID_FILE_SIZE;
    size = S_ISREG(fh->sx.stx_mode) ? fh->sx.stx_size : 0;
    if (high != nullptr)
        *high = static_cast<DWORD>(size >> 32);
    // A size whose low half looks like the failure value is told apart
    // by a last error of 0.
    if (static_cast<DWORD>(size) == INVALID_FILE_SIZE)
        setlasterror(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}
