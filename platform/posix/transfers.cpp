// Transfers: copying, moving, deleting, and making and removing
// directories.  A destination is only ever replaced in one step, by a
// rename; a copy that replaces is made under a temporary name beside it
// first.  Where nothing stood, the copy is made at the destination itself
// and removed again if it fails.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "posix.h"

// Tries at a temporary name before giving up: names are random, so a
// clash means someone is making them on purpose.
enum { TEMPTRIES = 100 };
enum { CHUNK = 1 << 17 };

// The next of a sequence of names that no one can foretell without
// trying: seeded once from the system's random source, then mixed from a
// counter.  A name taken meanwhile costs one more try, never a file: each
// is created exclusively.
static unsigned long long tempnumber()
{
    static thread_local unsigned long long seed, counter;
    static thread_local bool seeded;
    unsigned long long z;

    if (!seeded) {
        if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed))
            seed = static_cast<unsigned long long>(getpid()) << 32 ^ time(nullptr);
        seeded = true;
    }
    // splitmix64: every counter value gives a different, well-spread name.
    z = seed + ++counter * 0x9e3779b97f4a7c15ULL;
    z = (z ^ z >> 30) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ z >> 27) * 0x94d049bb133111ebULL;
    return z ^ z >> 31;
}

// A name in dst's directory that nothing else uses: unforeseeable, short
// enough for any file system, and hidden from a plain listing.
static std::string tempcandidate(const std::string &dst)
{
    std::string dir = parentof(dst);
    char name[32];

    snprintf(name, sizeof name, ".ftmp%016llx", tempnumber());
    return dir == "/" ? dir + name : dir + "/" + name;
}

// Renames without replacing.  File systems that cannot do it in one step
// get a look first.
static int renamenew(const std::string &from, const std::string &to)
{
    struct stat st;

    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return -1;
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(from.c_str(), to.c_str());
}

// The buffer of the plain copy loop, made once: a move to another file
// system copies every file through it.
static std::vector<char> &chunkbuffer()
{
    static thread_local std::vector<char> buf(CHUNK);

    return buf;
}

// Where the kernel last could not copy: from the source's file system into
// the destination's directory (whose files all live on one file system).
// Copies between the same two try the plain loop straight away.
struct nokernelcopy {
    bool known;
    dev_t srcdev;
    std::string dstdir;
};
static thread_local nokernelcopy nokernel;

static bool kernelrefused(const struct stat &srcst, const std::string &dst)
{
    return nokernel.known && nokernel.srcdev == srcst.st_dev && nokernel.dstdir == parentof(dst);
}

static void rememberrefusal(const struct stat &srcst, const std::string &dst)
{
    nokernel.known = true;
    nokernel.srcdev = srcst.st_dev;
    nokernel.dstdir = parentof(dst);
}

// Copies the data of in (the file srcst describes) to out, a new file in
// dst's directory.
static bool copydata(int in, const struct stat &srcst, int out, const std::string &dst)
{
    bool inkernel = !kernelrefused(srcst, dst), copied = false;

    for (;;) {
        ssize_t n;
        if (inkernel) {
            n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (n > 0) {
                copied = true;
                continue;
            }
            if (n == 0 && copied)
                return true;
            if (n < 0 && errno == EINTR)
                continue;
            // Nothing copied at all may be a file system that cannot; the
            // plain loop finds out, and continues where this stopped.
            if (n < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS &&
                errno != EOPNOTSUPP && errno != EBADF && errno != EPERM)
                return false;
            if (n < 0 && errno == EXDEV)
                rememberrefusal(srcst, dst);
            inkernel = false;
        }
        std::vector<char> &buf = chunkbuffer();
        n = read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buf.data() + done, n - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                return false;
            done += w;
        }
    }
}

// The user.* extended attributes, the creation-time record among them,
// which is given in record (empty when there is none).  A destination
// that holds none loses them without a report.
static bool copyxattrs(int in, int out, std::string *record)
{
    std::vector<char> names(1024);
    ssize_t len;

    for (;;) {
        len = flistxattr(in, names.data(), names.size());
        if (len >= 0)
            break;
        if (errno == ENOTSUP)
            return true;
        if (errno != ERANGE)
            return false;
        names.resize(names.size() * 4);
    }
    for (ssize_t at = 0; at < len; at += strlen(names.data() + at) + 1) {
        const char *name = names.data() + at;
        std::string value;
        if (strncmp(name, "user.", 5) != 0)
            continue;
        if (!readxattr(in, std::string(), false, name, &value)) {
            if (errno == ENODATA)
                continue; // removed meanwhile
            return false;
        }
        if (strcmp(name, DOSATTRIB) == 0)
            *record = value;
        if (!writexattr(out, std::string(), name, value))
            return xattrunsupported(errno);
    }
    return true;
}

static uint64_t units(const FILETIME &ft)
{
    return static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}

// One copy of a file or link: what is asked, and where it was made.
struct copyjob {
    std::string src;
    struct stat st; // src as lstat described it
    std::string dst;
    bool keepall; // a move: the creation time and the owner as well
    bool direct;  // made at dst itself, where nothing stood
    std::string made;
    bool taken; // direct, and something took dst's name meanwhile
};

// The name to create the new item under: dst itself, or the next
// temporary name beside it.
static void nextname(copyjob *job)
{
    job->made = job->direct ? job->dst : tempcandidate(job->dst);
}

// After creating the new item failed with err: true to try another name.
// Otherwise false, with the last error set, or with taken set when a
// direct copy found dst taken.
static bool retrycreate(copyjob *job, int err, int attempt)
{
    if (err == EEXIST && !job->direct && attempt < TEMPTRIES)
        return true;
    job->taken = job->direct && err == EEXIST;
    if (!job->taken)
        seterrno(err, job->dst);
    return false;
}

// A link is copied as a link with the same target.
static bool copylink(copyjob *job)
{
    struct timespec times[2] = {job->st.st_atim, job->st.st_mtim};
    std::string target;

    if (!linktarget(AT_FDCWD, job->src, job->st, &target)) {
        seterrno(errno, job->src);
        return false;
    }
    for (int i = 0;; i++) {
        nextname(job);
        if (symlink(target.c_str(), job->made.c_str()) == 0)
            break;
        if (!retrycreate(job, errno, i))
            return false;
    }
    if (job->keepall)
        (void)!lchown(job->made.c_str(), job->st.st_uid, job->st.st_gid);
    if (utimensat(AT_FDCWD, job->made.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        int err = errno;
        unlink(job->made.c_str());
        seterrno(err, job->dst);
        return false;
    }
    return true;
}

// A move keeps the creation time: the source's record, which was just
// copied along with its other attributes and is all the new file's record
// holds, or else its birth time.
static bool keepcreation(int out, const copyjob *job, const struct statx &srcsx,
                         const std::string &record)
{
    FILETIME creation;

    itemtimes(srcsx, record, &creation, nullptr, nullptr);
    return writecreation(out, job->made, job->st.st_mode, units(creation), &record);
}

// Copies the file into a new file, made no wider than 0600, which gets
// the source's data, user attributes, permission bits (never setuid or
// setgid), and access and write times, as cp -a keeps them.  A move keeps
// the creation time and the owner as well.  On failure nothing is left
// behind.
static bool copyfile(copyjob *job)
{
    const struct stat &st = job->st;
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    struct statx now;
    std::string record;
    int in, out, err = 0;

    in = openitem(job->src, O_RDONLY | O_NOFOLLOW);
    if (in < 0) {
        seterrno(errno, job->src);
        return false;
    }
    if (statx(in, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &now) != 0 ||
        makedev(now.stx_dev_major, now.stx_dev_minor) != st.st_dev || now.stx_ino != st.st_ino) {
        close(in);
        setlasterror(ERROR_SHARING_VIOLATION); // replaced while we looked
        return false;
    }
    for (int i = 0;; i++) {
        nextname(job);
        out = open(job->made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out >= 0)
            break;
        if (!retrycreate(job, errno, i)) {
            close(in);
            return false;
        }
    }
    if (!copydata(in, st, out, job->dst))
        err = errno;
    else if (!copyxattrs(in, out, &record))
        err = errno;
    else if (job->keepall && !keepcreation(out, job, now, record))
        err = errno;
    if (err == 0 && job->keepall)
        (void)!fchown(out, st.st_uid, st.st_gid); // as far as we may
    if (err == 0 && fchmod(out, st.st_mode & 0777) != 0)
        err = errno;
    if (err == 0 && futimens(out, times) != 0)
        err = errno;
    if (close(out) != 0 && err == 0)
        err = errno;
    close(in);
    if (err != 0) {
        unlink(job->made.c_str());
        seterrno(err, job->dst);
        return false;
    }
    return true;
}

// Makes the copy where the job says: at dst itself when direct, else
// under a temporary name beside it, given in job->made.  On failure the
// last error is set, unless a direct copy found dst taken.
static bool copyitem(copyjob *job)
{
    job->taken = false;
    if (S_ISLNK(job->st.st_mode))
        return copylink(job);
    return copyfile(job);
}

// Copies the job's source to its destination: straight into place where
// nothing stood (direct), else beside it and renamed over it, replacing
// what is there only when replace is set.  On failure the last error is
// set, or taken is set when something is at the destination and replace
// is not.
static bool copyinto(copyjob *job, bool replace)
{
    int err;

    if (job->direct) {
        if (copyitem(job))
            return true;
        if (!job->taken || !replace)
            return false;
        job->direct = false; // taken meanwhile: replaced like any destination
    }
    if (!copyitem(job))
        return false;
    if ((replace ? rename(job->made.c_str(), job->dst.c_str()) : renamenew(job->made, job->dst)) == 0)
        return true;
    err = errno;
    unlink(job->made.c_str());
    job->taken = err == EEXIST && !replace;
    if (!job->taken)
        seterrno(err, job->dst);
    return false;
}

static bool sameinode(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether copying src over dst would copy a file onto itself: one inode,
// one full path, or a link onto what it points at.
static bool sameitem(const std::string &src, const struct stat &srcst, const std::string &dst,
                     const struct stat &dstst)
{
    struct stat target;
    std::string a, b;

    if (sameinode(srcst, dstst))
        return true;
    // Resolved here rather than by stat, which would set the access time
    // of every link it goes through.
    if (!fullname(src, &a))
        return false;
    if (S_ISLNK(srcst.st_mode) && lstat(a.c_str(), &target) == 0 && sameinode(target, dstst))
        return true;
    return fullname(dst, &b) && a == b;
}

// Whether two paths name one directory entry: the same name in the same
// directory.
static bool sameentry(const std::string &a, const std::string &b)
{
    struct stat da, db;

    return lastof(a) == lastof(b) && stat(parentof(a).c_str(), &da) == 0 &&
           stat(parentof(b).c_str(), &db) == 0 && sameinode(da, db);
}

BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failifexists)
{
    std::string src, dst;
    struct stat srcst, dstst;
    bool exists;

    if (from == nullptr || to == nullptr) {
        setlasterror(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    src = syspath(from);
    dst = syspath(to);
    if (lstat(src.c_str(), &srcst) != 0) {
        seterrno(errno, src);
        return FALSE;
    }
    if (S_ISDIR(srcst.st_mode)) {
        setlasterror(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!S_ISREG(srcst.st_mode) && !S_ISLNK(srcst.st_mode)) {
        setlasterror(ERROR_NOT_SUPPORTED); // FIFOs, sockets and devices are never opened
        return FALSE;
    }
    exists = lstat(dst.c_str(), &dstst) == 0;
    if (!exists && errno != ENOENT) {
        seterrno(errno, dst);
        return FALSE;
    }
    if (exists) {
        DWORD refusal = 0;
        if (sameitem(src, srcst, dst, dstst))
            refusal = ERROR_SHARING_VIOLATION;
        else if (failifexists)
            refusal = ERROR_FILE_EXISTS;
        else if (S_ISDIR(dstst.st_mode) || (S_ISREG(dstst.st_mode) && isreadonly(dstst.st_mode)))
            refusal = ERROR_ACCESS_DENIED;
        if (refusal != 0) {
            setlasterror(refusal);
            return FALSE;
        }
    }
    copyjob job{src, srcst, dst, false, !exists, std::string(), false};
    if (copyinto(&job, !failifexists))
        return TRUE;
    if (job.taken)
        setlasterror(ERROR_FILE_EXISTS);
    return FALSE;
}

static BOOL failmove(int err, const std::string &src, const std::string &dst)
{
    struct stat st;

    // A missing source is "file not found"; a missing directory for the
    // destination is "path not found".
    if (err == ENOENT && lstat(src.c_str(), &st) != 0)
        seterrno(err, src);
    else
        seterrno(err, dst);
    return FALSE;
}

// A move to another file system: the file or link is copied with all
// three times, into place where nothing stood (dstmissing, for a replacing
// move) or beside the destination first, and only then is the source
// removed.  A directory is refused, so that the caller moves it piece by
// piece.
static BOOL movecopy(const std::string &src, const std::string &dst, bool replace,
                     bool dstmissing)
{
    struct stat st, dstst;

    if (lstat(src.c_str(), &st) != 0) {
        seterrno(errno, src);
        return FALSE;
    }
    if (S_ISDIR(st.st_mode)) {
        setlasterror(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        setlasterror(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!replace) {
        if (lstat(dst.c_str(), &dstst) == 0) {
            setlasterror(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        dstmissing = errno == ENOENT;
    }
    // Copying is pointless when the source cannot be removed afterwards.
    if (faccessat(AT_FDCWD, parentof(src).c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        seterrno(errno, src);
        return FALSE;
    }
    copyjob job{src, st, dst, true, dstmissing, std::string(), false};
    if (!copyinto(&job, replace)) {
        if (job.taken)
            setlasterror(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (unlink(src.c_str()) != 0) {
        int err = errno;
        if (!replace)
            unlink(dst.c_str()); // nothing was there: leave things as they were
        seterrno(err, src);
        return FALSE;
    }
    return TRUE;
}

static BOOL movenew(const std::string &src, const std::string &dst, bool copyallowed)
{
    int err;

    if (renamenew(src, dst) == 0)
        return TRUE;
    err = errno;
    if (err == EEXIST && sameentry(src, dst))
        return TRUE; // onto its own path: nothing to do
    if (err == EXDEV && copyallowed)
        return movecopy(src, dst, false, false);
    return failmove(err, src, dst);
}

static BOOL movereplacing(const std::string &src, const std::string &dst, bool copyallowed)
{
    struct stat srcst, dstst;
    bool dstmissing = false;
    int err;

    if (lstat(dst.c_str(), &dstst) != 0) {
        dstmissing = errno == ENOENT;
    } else {
        if (sameentry(src, dst))
            return TRUE;
        if (S_ISDIR(dstst.st_mode) || (S_ISREG(dstst.st_mode) && isreadonly(dstst.st_mode))) {
            setlasterror(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        // Two names of one file: rename would keep both, the move keeps
        // the destination's.
        bool havesrc = lstat(src.c_str(), &srcst) == 0;
        if (havesrc && sameinode(srcst, dstst)) {
            if (unlink(src.c_str()) == 0)
                return TRUE;
            seterrno(errno, src);
            return FALSE;
        }
        // A link that leads to the destination would replace the file with
        // a link to itself, and its data would be gone.
        struct stat followed;
        if (havesrc && S_ISLNK(srcst.st_mode) && stat(src.c_str(), &followed) == 0 &&
            sameinode(followed, dstst)) {
            setlasterror(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
    }
    if (rename(src.c_str(), dst.c_str()) == 0)
        return TRUE;
    err = errno;
    if (err == EXDEV && copyallowed)
        return movecopy(src, dst, true, dstmissing);
    return failmove(err, src, dst);
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    bool copyallowed = (flags & MOVEFILE_COPY_ALLOWED) != 0;

    if (from == nullptr || to == nullptr) {
        setlasterror(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (flags & MOVEFILE_REPLACE_EXISTING)
        return movereplacing(syspath(from), syspath(to), copyallowed);
    return movenew(syspath(from), syspath(to), copyallowed);
}

BOOL MoveFileA(LPCSTR from, LPCSTR to)
{
    return MoveFileExA(from, to, MOVEFILE_COPY_ALLOWED);
}

// A read-only file, or a read-only directory, cannot be removed until its
// read-only bit is cleared, as on the target platform.
BOOL DeleteFileA(LPCSTR path)
{
    std::string p = syspath(path);
    struct stat st;

    if (lstat(p.c_str(), &st) != 0) {
        seterrno(errno, p);
        return FALSE;
    }
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && isreadonly(st.st_mode))) {
        setlasterror(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(p.c_str()) != 0) {
        seterrno(errno, p);
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path)
{
    std::string p = syspath(path);
    struct stat st;

    if (lstat(p.c_str(), &st) != 0) {
        seterrno(errno, p);
        return FALSE;
    }
    if (S_ISDIR(st.st_mode) && isreadonly(st.st_mode)) {
        setlasterror(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (rmdir(p.c_str()) != 0) {
        seterrno(errno == EEXIST ? ENOTEMPTY : errno, p);
        return FALSE;
    }
    return TRUE;
}

// The new directory is private while it is made and then takes the
// template's permission bits, so that a read-only template gives a
// read-only directory.  The set-group-ID and sticky bits come along: they
// decide who owns and who may remove what is put inside.  No times are
// copied.
BOOL CreateDirectoryExA(LPCSTR templatedir, LPCSTR newdir, LPSECURITY_ATTRIBUTES)
{
    std::string t, n;
    struct stat tst;
    int fd, err;

    if (templatedir == nullptr || newdir == nullptr) {
        setlasterror(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    t = syspath(templatedir);
    n = syspath(newdir);
    if (stat(t.c_str(), &tst) != 0) {
        seterrno(errno, t);
        return FALSE;
    }
    if (!S_ISDIR(tst.st_mode)) {
        seterrno(ENOTDIR, t);
        return FALSE;
    }
    if (mkdir(n.c_str(), 0700) != 0) {
        seterrno(errno, n);
        return FALSE;
    }
    fd = open(n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && fchmod(fd, tst.st_mode & (0777 | S_ISGID | S_ISVTX)) == 0) {
        close(fd);
        return TRUE;
    }
    err = errno;
    if (fd >= 0)
        close(fd);
    rmdir(n.c_str());
    seterrno(err, n);
    return FALSE;
}
