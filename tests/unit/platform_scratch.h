// Scratch directories and small helpers for the platform layer's contract
// tests: real files in a fresh directory, raw system calls to set up and
// to look, and runs as another user or on another file system.
#ifndef PLATFORM_SCRATCH_H
#define PLATFORM_SCRATCH_H

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/winfile.h"

namespace platformtest {

const uid_t NOBODY = 65534;

// Removes the tree under dirfd's entry name, whatever its depth: every
// lookup is relative, so paths longer than the system's limit go too.
inline void removeat(int dirfd, const char *name)
{
    struct stat st;

    if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        fchmodat(dirfd, name, 0700, 0);
        int fd = openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            DIR *d = fdopendir(fd);
            std::vector<std::string> names;
            for (struct dirent *de; d != nullptr && (de = readdir(d)) != nullptr;)
                if (strcmp(de->d_name, ".") != 0 && strcmp(de->d_name, "..") != 0)
                    names.push_back(de->d_name);
            for (const std::string &n : names)
                removeat(fd, n.c_str());
            if (d != nullptr)
                closedir(d);
            else
                close(fd);
        }
        unlinkat(dirfd, name, AT_REMOVEDIR);
    } else {
        unlinkat(dirfd, name, 0);
    }
}

// A fresh directory under base, removed with everything in it at the end.
struct scratch {
    std::string path;

    explicit scratch(const char *base = "/tmp")
    {
        std::string tmpl = std::string(base) + "/platform.XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) != nullptr)
            path = buf.data();
    }
    ~scratch()
    {
        if (!path.empty())
            removeat(AT_FDCWD, path.c_str());
    }
    scratch(const scratch &) = delete;
    scratch &operator=(const scratch &) = delete;

    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

inline bool writefile(const std::string &path, const std::string &data, mode_t mode = 0644)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    ok = fchmod(fd, mode) == 0 && ok;
    return close(fd) == 0 && ok;
}

inline std::string readfile(const std::string &path)
{
    std::string data;
    char buf[4096];
    // Looking must not move the access time that a test checks.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (fd < 0)
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<missing>";
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        data.append(buf, n);
    close(fd);
    return data;
}

inline struct stat lstatof(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        memset(&st, 0, sizeof st);
    return st;
}

inline bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

inline mode_t permof(const std::string &path)
{
    return lstatof(path).st_mode & 07777;
}

inline struct timespec ts(time_t sec, long nsec)
{
    struct timespec t;
    t.tv_sec = sec;
    t.tv_nsec = nsec;
    return t;
}

// Sets an item's own access and write times, never through a link.
inline bool settimes(const std::string &path, struct timespec access, struct timespec write)
{
    struct timespec times[2] = {access, write};
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

inline bool sametime(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

inline std::string rawxattr(const std::string &path, const char *name)
{
    char buf[1024];
    ssize_t n = lgetxattr(path.c_str(), name, buf, sizeof buf);
    return n < 0 ? std::string("<none>") : std::string(buf, n);
}

inline bool setraw(const std::string &path, const char *name, const std::string &value)
{
    return lsetxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

// The names of a directory's entries, sorted, without . and ..
inline std::vector<std::string> entries(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    for (struct dirent *de; d != nullptr && (de = readdir(d)) != nullptr;)
        if (strcmp(de->d_name, ".") != 0 && strcmp(de->d_name, "..") != 0)
            names.push_back(de->d_name);
    if (d != nullptr)
        closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// Runs fn in a child process as the unprivileged user nobody and gives
// back what it returned; -1 when the child could not become nobody.
inline long long asnobody(const std::function<long long()> &fn)
{
    int fds[2];
    long long value = -1;

    if (pipe(fds) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        long long v = -1;
        if (setgroups(0, nullptr) == 0 && setgid(NOBODY) == 0 && setuid(NOBODY) == 0)
            v = fn();
        if (write(fds[1], &v, sizeof v) != sizeof v)
            _exit(1);
        _exit(0);
    }
    close(fds[1]);
    if (pid > 0 && read(fds[0], &value, sizeof value) != sizeof value)
        value = -1;
    close(fds[0]);
    if (pid > 0)
        waitpid(pid, nullptr, 0);
    return value;
}

// Whether a second file system is at hand for moves across devices.
inline bool otherdevice(const char *a, const char *b)
{
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev != sb.st_dev;
}

// A small file system mounted for one test, when we may mount.
struct mounted {
    std::string path;
    bool ok = false;

    mounted(const std::string &where, const char *type, unsigned long flags, const char *options)
        : path(where)
    {
        ok = geteuid() == 0 && mkdir(where.c_str(), 0755) == 0 &&
             mount(type, where.c_str(), type, flags, options) == 0;
    }
    ~mounted()
    {
        if (ok)
            umount2(path.c_str(), MNT_DETACH);
    }
    mounted(const mounted &) = delete;
    mounted &operator=(const mounted &) = delete;
};

inline std::string lasterrortext(DWORD code)
{
    char *text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string s = n == 0 || text == nullptr ? std::string("<none>") : std::string(text, n);
    LocalFree(text);
    return s;
}

} // namespace platformtest

#endif
