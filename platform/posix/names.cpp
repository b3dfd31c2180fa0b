// Path names: the system's spelling of a path, the full path name, and
// the lead bytes of the locale's multibyte characters.
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "posix.h"

// A link chain longer than this is taken for a loop, as the kernel does.
enum { MAXLINKS = 40 };

std::string syspath(const char *path)
{
    std::string p(path);

    for (char &c : p)
        if (c == '\\')
            c = '/';
    return p;
}

static std::string striptrailing(const std::string &path)
{
    size_t end = path.size();

    while (end > 1 && path[end - 1] == '/')
        end--;
    return path.substr(0, end);
}

std::string parentof(const std::string &path)
{
    std::string p = striptrailing(path);
    size_t slash = p.rfind('/');

    if (slash == std::string::npos)
        return ".";
    while (slash > 0 && p[slash - 1] == '/')
        slash--;
    return slash == 0 ? "/" : p.substr(0, slash);
}

std::string lastof(const std::string &path)
{
    std::string p = striptrailing(path);
    size_t slash = p.rfind('/');

    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// Reading a link sets its access time, and a look at a path should not
// leave a mark on it: the time is put back where the system moved it.
bool linktarget(int dirfd, const std::string &name, const struct stat &st, std::string *target)
{
    std::vector<char> buf(st.st_size > 0 ? st.st_size + 1 : 256);
    struct stat after;

    for (;;) {
        ssize_t n = readlinkat(dirfd, name.c_str(), buf.data(), buf.size());
        if (n < 0)
            return false;
        if (static_cast<size_t>(n) < buf.size()) {
            target->assign(buf.data(), n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    if (fstatat(dirfd, name.c_str(), &after, AT_SYMLINK_NOFOLLOW) == 0 &&
        (after.st_atim.tv_sec != st.st_atim.tv_sec || after.st_atim.tv_nsec != st.st_atim.tv_nsec)) {
        struct timespec times[2] = {st.st_atim, {0, UTIME_OMIT}};
        utimensat(dirfd, name.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    return true;
}

static void dropcomponent(std::string *dir)
{
    size_t slash = dir->rfind('/');

    dir->erase(slash == 0 ? 1 : slash);
}

static void addcomponent(std::string *dir, const std::string &name)
{
    if (dir->back() != '/')
        *dir += '/';
    *dir += name;
}

// The walk keeps a descriptor of the deepest directory reached so far
// (dir, physical) and the components beyond it that do not exist or
// cannot be entered (rest, lexical).  Lookups go relative to that
// descriptor, so no path handed to the system grows beyond one component
// and a path of any length resolves.
bool fullname(const std::string &path, std::string *full)
{
    std::string dir, pending = path;
    std::vector<std::string> rest;
    int dirfd, links = 0;
    size_t pos = 0;

    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    if (path[0] == '/') {
        dir = "/";
        dirfd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    } else {
        char *cwd = getcwd(nullptr, 0);
        if (cwd == nullptr)
            return false;
        dir = cwd;
        free(cwd);
        dirfd = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    while (pos < pending.size()) {
        size_t end = pending.find('/', pos);
        if (end == std::string::npos)
            end = pending.size();
        std::string name = pending.substr(pos, end - pos);
        pos = end + 1;
        struct stat st;

        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (!rest.empty()) {
                rest.pop_back();
            } else if (dir != "/") {
                dropcomponent(&dir);
                if (dirfd >= 0) {
                    int up = openat(dirfd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
                    close(dirfd);
                    dirfd = up; // -1: lexical from here on
                }
            }
            continue;
        }
        if (!rest.empty() || dirfd < 0 ||
            fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            rest.push_back(name);
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            std::string target;
            if (++links > MAXLINKS) {
                close(dirfd);
                errno = ELOOP;
                return false;
            }
            if (!linktarget(dirfd, name, st, &target)) {
                rest.push_back(name);
                continue;
            }
            pending = target + "/" + (pos < pending.size() ? pending.substr(pos) : "");
            pos = 0;
            if (target[0] == '/') {
                close(dirfd);
                dir = "/";
                dirfd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
            }
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            int down = openat(dirfd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (down >= 0) {
                close(dirfd);
                dirfd = down;
                addcomponent(&dir, name);
                continue;
            }
        }
        rest.push_back(name); // exists, but nothing lies beneath it
    }
    if (dirfd >= 0)
        close(dirfd);
    for (const std::string &name : rest)
        addcomponent(&dir, name);
    *full = dir;
    return true;
}

DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR *filepart)
{
    std::string p, full;
    bool trailing;

    if (path == nullptr || *path == '\0') {
        setlasterror(ERROR_INVALID_PARAMETER);
        return 0;
    }
    p = syspath(path);
    if (!fullname(p, &full)) {
        seterrno(errno, p);
        return 0;
    }
    trailing = p.back() == '/' && full != "/";
    for (char &c : full)
        if (c == '/')
            c = '\\';
    if (trailing)
        full += '\\';
    if (buffer == nullptr || full.size() + 1 > size)
        return static_cast<DWORD>(full.size() + 1);
    memcpy(buffer, full.c_str(), full.size() + 1);
    if (filepart != nullptr)
        *filepart = trailing || full == "\\" ? nullptr : buffer + full.rfind('\\') + 1;
    return static_cast<DWORD>(full.size());
}

// A byte opens a double-byte character when the locale's decoder, given
// it alone, waits for more.  UTF-8 is no double-byte character set, and
// under its UTF-8 code page the target platform calls no byte a lead
// byte: no byte of a UTF-8 character is ASCII, so nothing ever needs to
// be stepped over, while stepping over the byte after a stray lead byte
// (a name that is not valid UTF-8, which POSIX allows) would take a
// separator for part of a character and join paths wrongly.
BOOL IsDBCSLeadByte(BYTE c)
{
    char byte = static_cast<char>(c);
    mbstate_t state;

    if (MB_CUR_MAX == 1)
        return FALSE;
    if (strcmp(nl_langinfo(CODESET), "UTF-8") == 0)
        return FALSE;
    memset(&state, 0, sizeof state);
    return mbrlen(&byte, 1, &state) == static_cast<size_t>(-2);
}
