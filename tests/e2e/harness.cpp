// Support for the end-to-end tests.  Plain POSIX: the tests check the
// programs from outside, so nothing here goes through the programs' own
// file layer.
#include "harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char **environ;

// 100 ns units from 1601-01-01 to 1970-01-01.
static const int64_t epochdelta = 116444736000000000LL;

// A run longer than this is taken to hang: the watchdog ends it, so that a
// program stuck in a loop fails its test instead of stopping the suite.
// E2E_WATCHDOG (seconds) lengthens it for slow builds, such as one under
// the sanitizers.  Read once, before any fork.
static const unsigned watchdogseconds = [] {
    const char *given = getenv("E2E_WATCHDOG");
    int seconds = given != nullptr ? atoi(given) : 0;
    return seconds > 0 ? (unsigned)seconds : 120u;
}();

// --- scratch directories ---------------------------------------------------

static std::string defaultbase()
{
    const char *t = getenv("TMPDIR");
    return t && *t ? t : "/tmp";
}

scratch::scratch(const std::string &base)
{
    std::string templ = (base.empty() ? defaultbase() : base) + "/e2e.XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp " + templ + ": " + strerror(errno));
    char *real = realpath(buf.data(), nullptr);
    if (!real) {
        rmdir(buf.data());
        throw std::runtime_error(std::string("realpath: ") + strerror(errno));
    }
    path = real;
    free(real);
}

scratch::~scratch()
{
    removetree(path);
}

std::string operator/(const scratch &s, const std::string &name)
{
    return s.path + "/" + name;
}

// Empties the directory open as fd, then closes it.
static int removecontents(int fd, dev_t dev);

// Removes one entry of the directory parent: a directory after its
// contents, anything else (links included) by unlinking the name.
static int removeentry(int parent, const char *name, dev_t dev)
{
    struct stat st;
    if (fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : -1;
    if (!S_ISDIR(st.st_mode))
        return unlinkat(parent, name, 0);

    // A test that mounted a file system here and failed to unmount it.
    if (st.st_dev != dev && isroot()) {
        char self[64];
        snprintf(self, sizeof self, "/proc/self/fd/%d", parent);
        char where[PATH_MAX];
        ssize_t n = readlink(self, where, sizeof where - 1);
        if (n > 0) {
            where[n] = '\0';
            umount2((std::string(where) + "/" + name).c_str(), MNT_DETACH);
        }
    }
    // A read-only or unsearchable directory cannot be emptied as it is.
    // Should this fail, the open below tells.
    int unlocked = fchmodat(parent, name, 0700, 0);
    (void)unlocked;
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int rc = removecontents(fd, dev);
    if (unlinkat(parent, name, AT_REMOVEDIR) != 0)
        rc = -1;
    return rc;
}

static int removecontents(int fd, dev_t dev)
{
    DIR *d = fdopendir(fd);
    if (!d) {
        close(fd);
        return -1;
    }
    std::vector<std::string> names;
    while (dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    int rc = 0;
    for (const std::string &n : names)
        if (removeentry(dirfd(d), n.c_str(), dev) != 0)
            rc = -1;
    closedir(d);
    return rc;
}

int removetree(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT ? 0 : -1;
    std::string parent = ".";
    std::string name = path;
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos) {
        parent = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
    int pfd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (pfd < 0)
        return -1;
    int rc = removeentry(pfd, name.c_str(), st.st_dev);
    close(pfd);
    return rc;
}

// --- running programs ------------------------------------------------------

account nobody()
{
    if (passwd *pw = getpwnam("nobody"))
        return {pw->pw_uid, pw->pw_gid};
    return {65534, 65534};
}

// An unnamed temporary file that no child inherits by accident.
static int tempfd()
{
    FILE *f = tmpfile();
    if (!f)
        throw std::runtime_error(std::string("tmpfile: ") + strerror(errno));
    int fd = dup(fileno(f));
    fclose(f);
    if (fd < 0)
        throw std::runtime_error(std::string("dup: ") + strerror(errno));
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

static std::string readall(int fd)
{
    std::string s;
    char buf[65536];
    lseek(fd, 0, SEEK_SET);
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        s.append(buf, n);
    return s;
}

static void writeall(int fd, const std::string &s)
{
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw std::runtime_error(std::string("write: ") + strerror(errno));
        done += n;
    }
}

// In the child between fork and exec: only async-signal-safe calls.
static void say(const char *s)
{
    ssize_t n = write(2, s, strlen(s));
    (void)n;
}

[[noreturn]] static void childfail(const char *what)
{
    const char *text = strerror(errno);
    say("run: ");
    say(what);
    say(": ");
    say(text);
    say("\n");
    _exit(127);
}

[[noreturn]] static void startchild(const command &c, int in, int out, int err,
                                    char *const *argv, char *const *envp)
{
    if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
        childfail("dup2");
    if (!c.cwd.empty() && chdir(c.cwd.c_str()) != 0)
        childfail("chdir");
    if (c.runas) {
        if (setgroups(0, nullptr) != 0)
            childfail("setgroups");
        if (setresgid(c.runas->gid, c.runas->gid, c.runas->gid) != 0)
            childfail("setresgid");
        if (setresuid(c.runas->uid, c.runas->uid, c.runas->uid) != 0)
            childfail("setresuid");
    }
    signal(SIGPIPE, SIG_DFL);
    alarm(watchdogseconds); // survives exec
    execve(c.program.c_str(), argv, envp);
    childfail("exec");
}

// --- the Windows build under Wine ------------------------------------------

static const char *wineenv(const char *name)
{
    const char *v = getenv(name);
    return v && *v ? v : nullptr;
}

bool underwine()
{
    return wineenv("E2E_RUNNER") != nullptr;
}

bool winediffers(winediff)
{
    return underwine();
}

int64_t createdas(int64_t set, int64_t written)
{
    return winediffers(winecreation) ? written : set;
}

int64_t createdas(const timespec &set, int64_t written)
{
    return createdas(nanoseconds(set), written);
}

mode_t madedirmode(mode_t templ)
{
    if (!winediffers(winetemplate))
        return templ;
    mode_t mask = umask(022);
    umask(mask);
    return 0777 & ~mask;
}

mode_t dirmodeafter(mode_t after)
{
    return winediffers(winedirreadonly) && !(after & 0222) ? after | 0200 : after;
}

// The Windows build of a program: its .exe in E2E_EXE_DIR.
static std::string windowsprogram(const std::string &program)
{
    const char *dir = wineenv("E2E_EXE_DIR");
    size_t slash = program.find_last_of('/');
    std::string name = slash == std::string::npos ? program : program.substr(slash + 1);
    return std::string(dir ? dir : ".") + "/" + name + ".exe";
}

// A text stream's CR LF line ends become LF, so that the tests' texts hold
// for both builds.  Only when every line end is CR LF: otherwise the text
// stays as written and the test's comparison shows the difference.
static std::string fromtextstream(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r'))
            return s;
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')
            continue;
        out += s[i];
    }
    return out;
}

// What Wine's FormatMessageA gives for the codes that the programs meet.
static const char *windowstext(unsigned code)
{
    switch (code) {
    case 2: return "File not found.";
    case 3: return "Path not found.";
    case 4: return "Too many open files.";
    case 5: return "Access denied.";
    case 6: return "Invalid handle.";
    case 8: return "Not enough memory.";
    case 17: return "Not same device.";
    case 18: return "No more files.";
    case 19: return "Write protected.";
    case 31: return "General failure.";
    case 32: return "Sharing violation.";
    case 50: return "Request not supported.";
    case 80: return "File exists.";
    case 87: return "Invalid parameter.";
    case 112: return "Disk full.";
    case 122: return "Insufficient buffer.";
    case 145: return "Directory is not empty.";
    case 183: return "File already exists.";
    case 206: return "File name is too long.";
    case 267: return "Directory name invalid.";
    case 1117: return "I/O device error.";
    case 1921: return "The filename cannot be resolved.";
    }
    return nullptr;
}

std::string systemtext(unsigned code, int errnum)
{
    if (!underwine())
        return std::string(strerror(errnum)) + "\n";
    // The message ends with CR LF of its own, which the text stream writes
    // as CR CR LF; run() leaves CR LF of that.
    if (const char *text = windowstext(code))
        return std::string(text) + "\r\n";
    return "Unknown error " + std::to_string(code) + "\n";
}

std::string invokedas(const std::string &program)
{
    return underwine() ? winpath(windowsprogram(program)) : program;
}

std::string libtext(int errnum)
{
    return std::string(strerror(errnum)) + "\n";
}

result run(const command &c)
{
    std::vector<std::string> words;
    command wine;
    // Only the programs under test have a Windows build; helpers such as
    // a shell run as they are.
    bool viawine = underwine() && exists(windowsprogram(c.program));
    if (viawine) {
        // The loader starts the program; Windows makes argv[0] itself.
        wine = c;
        wine.program = wineenv("E2E_RUNNER");
        words.push_back(wine.program);
        words.push_back(windowsprogram(c.program));
        if (wine.env) {
            for (const char *name : {"WINEPREFIX", "WINEDEBUG", "WINESERVER", "HOME", "PATH"})
                if (const char *v = getenv(name))
                    wine.env->push_back(std::string(name) + "=" + v);
        }
    } else
        words.push_back(c.argv0.empty() ? c.program : c.argv0);
    words.insert(words.end(), c.args.begin(), c.args.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);

    const command &started = viawine ? wine : c;
    std::vector<std::string> envwords;
    std::vector<char *> envp;
    if (started.env) {
        envwords = *started.env;
        for (std::string &w : envwords)
            envp.push_back(&w[0]);
        envp.push_back(nullptr);
    }

    // Files rather than pipes: no output size can block the child, and
    // the input ends with EOF wherever the child stops reading.
    int in = tempfd(), out = tempfd(), err = tempfd();
    writeall(in, c.input);
    lseek(in, 0, SEEK_SET);

    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + strerror(errno));
    if (pid == 0)
        startchild(started, in, out, err, argv.data(), started.env ? envp.data() : environ);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
        ;
    result r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    r.out = readall(out);
    r.err = readall(err);
    if (viawine) {
        r.out = fromtextstream(r.out);
        r.err = fromtextstream(r.err);
    }
    close(in);
    close(out);
    close(err);
    return r;
}

result run(const std::string &program, const std::vector<std::string> &args,
           const std::string &input, const std::string &cwd)
{
    command c;
    c.program = program;
    c.args = args;
    c.input = input;
    c.cwd = cwd;
    return run(c);
}

// --- times -----------------------------------------------------------------

timespec at(int year, int month, int day, int hour, int minute, int second, long ns)
{
    struct tm tm = {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    timespec t;
    t.tv_sec = timegm(&tm);
    // Windows keeps file times in 100 ns units: a time a test sets there is
    // one that the programs can carry whole.
    t.tv_nsec = underwine() ? ns - ns % 100 : ns;
    return t;
}

// Nanoseconds since 1970 fill 64 bits in 2262: later times wrap around, in
// unsigned arithmetic so that nothing overflows.  Equal times stay equal,
// which is what compare() asks of them.
static int64_t wrapns(int64_t sec, int64_t ns)
{
    return int64_t(uint64_t(sec) * 1000000000u + uint64_t(ns));
}

int64_t nanoseconds(const timespec &t)
{
    return wrapns(t.tv_sec, t.tv_nsec);
}

static int64_t floordiv(int64_t a, int64_t b)
{
    return a / b - (a % b < 0);
}

int64_t intime(int64_t ns)
{
    return underwine() ? floordiv(ns, 100) * 100 : ns;
}

std::string showtime(int64_t ns)
{
    time_t sec = floordiv(ns, 1000000000);
    long frac = long(ns - int64_t(sec) * 1000000000);
    struct tm tm;
    gmtime_r(&sec, &tm);
    char buf[64];
    snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%09ld", tm.tm_year + 1900,
             tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, frac);
    return buf;
}

static const char dosattrib[] = "user.DOSATTRIB";

static void putle(unsigned char *p, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        p[i] = (unsigned char)(v >> (8 * i));
}

static uint64_t getle(const unsigned char *p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

// The version-5 record: an empty string padded to two bytes, u16 version,
// u32 version, u32 valid flags (0x1 attributes, 0x10 creation time), u32
// attributes, u64 creation time in 100 ns units since 1601; little-endian.
int setcreation(const std::string &path, const timespec &t, uint32_t attributes)
{
    unsigned char rec[24] = {};
    putle(rec + 2, 5, 2);
    putle(rec + 4, 5, 4);
    putle(rec + 8, 0x11, 4);
    putle(rec + 12, attributes, 4);
    putle(rec + 16, uint64_t(floordiv(nanoseconds(t), 100) + epochdelta), 8);
    return lsetxattr(path.c_str(), dosattrib, rec, sizeof rec, 0);
}

// The version-5 record of path, if it has one.
static bool readrecord(const std::string &path, unsigned char rec[24])
{
    unsigned char buf[256];
    ssize_t n = lgetxattr(path.c_str(), dosattrib, buf, sizeof buf);
    if (n < 24 || getle(buf + 2, 2) != 5 || getle(buf + 4, 4) != 5)
        return false;
    memcpy(rec, buf, 24);
    return true;
}

// The item's times as Windows shows them under Wine, in 100 ns units.
static int64_t windowstime(const statx_timestamp &t)
{
    return floordiv(wrapns(t.tv_sec, t.tv_nsec), 100) * 100;
}

int64_t creation(const std::string &path)
{
    if (winediffers(winecreation)) {
        // Wine shows the write time as the creation time, whatever was set.
        struct statx sx;
        if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_MTIME, &sx) != 0)
            return 0;
        return windowstime(sx.stx_mtime);
    }
    unsigned char rec[24];
    if (readrecord(path, rec) && (getle(rec + 8, 4) & 0x10))
        return int64_t((getle(rec + 16, 8) - uint64_t(epochdelta)) * 100u);
    struct statx sx;
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &sx) != 0)
        return 0;
    const statx_timestamp &t = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
    return floordiv(wrapns(t.tv_sec, t.tv_nsec), 100) * 100;
}

long dosattributes(const std::string &path)
{
    if (underwine()) {
        // Windows' own attribute word, which Wine makes from the mode: the
        // record is a POSIX matter, and Wine removes it when it sets
        // attributes.
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            return -1;
        if (S_ISDIR(st.st_mode))
            return 0x10; // winedirreadonly: Wine never shows a directory read-only
        return 0x20 | ((st.st_mode & 0222) ? 0 : 0x1);
    }
    unsigned char rec[24];
    if (!readrecord(path, rec))
        return -1;
    return long(getle(rec + 12, 4));
}

// --- building trees --------------------------------------------------------

static node makenode(kind type, const std::string &name, const std::string &content = "")
{
    node n;
    n.type = type;
    n.name = name;
    n.content = content;
    return n;
}

node file(const std::string &name, const std::string &content)
{
    return makenode(kind::file, name, content);
}

node dir(const std::string &name)
{
    return makenode(kind::dir, name);
}

node softlink(const std::string &name, const std::string &target)
{
    return makenode(kind::link, name, target);
}

node fifo(const std::string &name)
{
    return makenode(kind::fifo, name);
}

static std::string nodepath(const std::string &root, const std::string &name)
{
    std::string n = name;
    while (!n.empty() && n.back() == '/')
        n.pop_back();
    return n.empty() || n == "." ? root : root + "/" + n;
}

static void makeparents(const std::string &path)
{
    for (size_t i = path.find('/', 1); i != std::string::npos; i = path.find('/', i + 1)) {
        std::string p = path.substr(0, i);
        if (mkdir(p.c_str(), 0755) != 0 && errno != EEXIST)
            ADD_FAILURE() << "mkdir " << p << ": " << strerror(errno);
    }
}

static void makenode(const std::string &path, const node &n)
{
    makeparents(path);
    int rc = 0;
    switch (n.type) {
    case kind::file: {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            rc = -1;
            break;
        }
        if (write(fd, n.content.data(), n.content.size()) != ssize_t(n.content.size()))
            rc = -1;
        close(fd);
        break;
    }
    case kind::dir:
        rc = mkdir(path.c_str(), 0700);
        if (rc != 0 && errno == EEXIST)
            rc = 0;
        break;
    case kind::link:
        rc = ::symlink(n.content.c_str(), path.c_str());
        break;
    case kind::fifo:
        rc = mkfifo(path.c_str(), 0600);
        break;
    case kind::other:
        break;
    }
    if (rc != 0)
        ADD_FAILURE() << "make " << path << ": " << strerror(errno);
}

// Creation time, mode and times, in the order that keeps each: the record
// needs write permission for an ordinary user, and the times come last.
static void finishnode(const std::string &path, const node &n)
{
    bool isdir = n.type == kind::dir;
    mode_t perm = n.perm ? *n.perm : isdir ? 0755 : 0644;
    if (n.created) {
        uint32_t attrs = (isdir ? 0x10 : 0x20) | ((perm & 0222) ? 0 : 0x1);
        if (n.type == kind::link || setcreation(path, *n.created, attrs) != 0)
            ADD_FAILURE() << "creation time of " << path << ": " << strerror(errno);
    }
    if (n.type != kind::link && chmod(path.c_str(), perm) != 0)
        ADD_FAILURE() << "chmod " << path << ": " << strerror(errno);
    if (n.access || n.write) {
        timespec t[2];
        t[0].tv_nsec = t[1].tv_nsec = UTIME_OMIT;
        if (n.access)
            t[0] = *n.access;
        if (n.write)
            t[1] = *n.write;
        if (utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW) != 0)
            ADD_FAILURE() << "utimensat " << path << ": " << strerror(errno);
    }
}

static int depth(const std::string &name)
{
    return int(std::count(name.begin(), name.end(), '/'));
}

void maketree(const std::string &root, std::initializer_list<node> nodes)
{
    std::vector<const node *> dirs;
    for (const node &n : nodes) {
        makenode(nodepath(root, n.name), n);
        if (n.type == kind::dir)
            dirs.push_back(&n);
    }
    for (const node &n : nodes)
        if (n.type != kind::dir)
            finishnode(nodepath(root, n.name), n);
    // Deepest first: a directory's times change while its children are
    // finished, and a read-only one could not take them.
    std::stable_sort(dirs.begin(), dirs.end(), [](const node *a, const node *b) {
        return depth(nodepath("", a->name)) > depth(nodepath("", b->name));
    });
    for (const node *n : dirs)
        finishnode(nodepath(root, n->name), *n);
}

// --- reading trees ---------------------------------------------------------

static kind kindof(mode_t m)
{
    if (S_ISREG(m))
        return kind::file;
    if (S_ISDIR(m))
        return kind::dir;
    if (S_ISLNK(m))
        return kind::link;
    if (S_ISFIFO(m))
        return kind::fifo;
    return kind::other;
}

// Opens path for reading without touching its access time.  Where
// O_NOATIME is refused (not the owner), opens plainly and says so through
// *restore, so that the caller puts the access time back.
static int openquietly(const std::string &path, int flags, bool *restore)
{
    *restore = false;
    int fd = open(path.c_str(), flags | O_NOATIME | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EPERM) {
        fd = open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
        *restore = fd >= 0;
    }
    return fd;
}

static void restoretimes(const std::string &path, const struct stat &st)
{
    timespec t[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW);
}

item readitem(const std::string &path)
{
    item it;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        ADD_FAILURE() << "lstat " << path << ": " << strerror(errno);
        return it;
    }
    // Times before content, so that reading cannot show in them.
    it.type = kindof(st.st_mode);
    it.perm = st.st_mode & 07777;
    it.atime = nanoseconds(st.st_atim);
    it.mtime = nanoseconds(st.st_mtim);
    it.created = creation(path);
    if (it.type == kind::link) {
        std::vector<char> buf(st.st_size + 1);
        ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
        if (n >= 0)
            it.data.assign(buf.data(), n);
        // Reading a link's target can update the link's access time, and
        // there is no flag to prevent it.
        restoretimes(path, st);
    } else if (it.type == kind::file) {
        bool restore;
        int fd = openquietly(path, O_RDONLY, &restore);
        if (fd < 0) {
            it.data = std::string("<unreadable: ") + strerror(errno) + ">";
            return it;
        }
        it.data = readall(fd);
        close(fd);
        if (restore)
            restoretimes(path, st);
    }
    return it;
}

static void snapshotdir(const std::string &root, const std::string &rel, tree &t)
{
    std::string path = rel.empty() ? root : root + "/" + rel;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    bool restore;
    int fd = openquietly(path, O_RDONLY | O_DIRECTORY, &restore);
    if (fd < 0) {
        ADD_FAILURE() << "open " << path << ": " << strerror(errno);
        return;
    }
    DIR *d = fdopendir(fd);
    std::vector<std::string> names;
    while (dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    closedir(d);
    if (restore)
        restoretimes(path, st);
    for (const std::string &n : names) {
        std::string sub = rel.empty() ? n : rel + "/" + n;
        item it = readitem(root + "/" + sub);
        t[sub] = it;
        if (it.type == kind::dir)
            snapshotdir(root, sub, t);
    }
}

tree snapshot(const std::string &root)
{
    tree t;
    // The root's times are read before its listing can touch them.
    t["."] = readitem(root);
    snapshotdir(root, "", t);
    return t;
}

static const char *kindname(kind k)
{
    switch (k) {
    case kind::file: return "file";
    case kind::dir: return "directory";
    case kind::link: return "link";
    case kind::fifo: return "fifo";
    case kind::other: break;
    }
    return "other";
}

// Content shown short and with its bytes visible.
static std::string quoted(const std::string &s)
{
    std::string q = "\"";
    size_t limit = 60;
    for (size_t i = 0; i < s.size() && i < limit; i++) {
        unsigned char c = s[i];
        if (c == '\\' || c == '"')
            q += std::string("\\") + char(c);
        else if (c == '\n')
            q += "\\n";
        else if (c < 0x20 || c >= 0x7f) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02x", c);
            q += buf;
        } else
            q += char(c);
    }
    q += "\"";
    if (s.size() > limit)
        q += "... (" + std::to_string(s.size()) + " bytes)";
    return q;
}

static void difftimes(std::string &out, const std::string &name, const char *what, int64_t a,
                     int64_t b)
{
    // Windows keeps times in 100 ns units: a time made finer on POSIX is
    // carried to the unit.
    if (underwine() && floordiv(a, 100) == floordiv(b, 100))
        return;
    if (a != b)
        out += name + ": " + what + " " + showtime(a) + " vs " + showtime(b) + "\n";
}

static void diffitem(std::string &out, const std::string &name, const item &a, const item &b,
                     int leaveout)
{
    if (a.type != b.type) {
        out += name + ": " + kindname(a.type) + " vs " + kindname(b.type) + "\n";
        return;
    }
    if (a.data != b.data)
        out += name + (a.type == kind::link ? ": target " : ": content ") + quoted(a.data) +
               " vs " + quoted(b.data) + "\n";
    // Windows has no permission bits, only the read-only attribute, which
    // Wine makes from the write bits.
    if (underwine() && !(leaveout & nomode) && a.type == kind::file &&
        !(a.perm & 0222) != !(b.perm & 0222))
        out += name + (a.perm & 0222 ? ": writable vs read-only\n" : ": read-only vs writable\n");
    else if (!underwine() && !(leaveout & nomode) && a.type != kind::link && a.perm != b.perm) {
        char buf[64];
        snprintf(buf, sizeof buf, ": mode %04o vs %04o\n", unsigned(a.perm), unsigned(b.perm));
        out += name + buf;
    }
    if (name == "." && (leaveout & noroottimes))
        return;
    // Where the Wine run found no noatime file system for the scratch
    // directories, Wine's own reads move access times, so they tell nothing.
    bool atimesmoved = underwine() && wineenv("E2E_ATIMES_MOVE") != nullptr;
    if (!(leaveout & noatime) && !atimesmoved)
        difftimes(out, name, "access time", a.atime, b.atime);
    difftimes(out, name, "write time", a.mtime, b.mtime);
    if (!(leaveout & nocreated) && a.type != kind::link)
        difftimes(out, name, "creation time", a.created, b.created);
}

std::string compare(const tree &a, const tree &b, int leaveout)
{
    std::string out;
    for (const auto &[name, it] : a) {
        auto other = b.find(name);
        if (other == b.end())
            out += name + ": only in first (" + kindname(it.type) + ")\n";
        else
            diffitem(out, name, it, other->second, leaveout);
    }
    for (const auto &[name, it] : b)
        if (a.find(name) == a.end())
            out += name + ": only in second (" + kindname(it.type) + ")\n";
    return out;
}

// --- small facilities ------------------------------------------------------

bool isroot()
{
    return geteuid() == 0;
}

bool otherfs(const char *path)
{
    struct stat there, here;
    if (stat(path, &there) != 0 || !S_ISDIR(there.st_mode) || access(path, W_OK) != 0)
        return false;
    if (stat(defaultbase().c_str(), &here) != 0)
        return false;
    return there.st_dev != here.st_dev;
}

std::string winpath(const std::string &posixpath)
{
    std::string w = underwine() && !posixpath.empty() && posixpath[0] == '/' ? "Z:" + posixpath
                                                                             : posixpath;
    std::replace(w.begin(), w.end(), '/', '\\');
    return w;
}

std::string readfile(const std::string &path)
{
    struct stat st;
    bool restore;
    int fd = -1;
    if (stat(path.c_str(), &st) == 0)
        fd = openquietly(path, O_RDONLY, &restore);
    if (fd < 0) {
        ADD_FAILURE() << "readfile " << path << ": " << strerror(errno);
        return "";
    }
    std::string s = readall(fd);
    close(fd);
    if (restore)
        restoretimes(path, st);
    return s;
}

std::string readlog(const std::string &path)
{
    std::string s = readfile(path);
    return underwine() ? fromtextstream(s) : s;
}

void writefile(const std::string &path, const std::string &content)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        ADD_FAILURE() << "writefile " << path << ": " << strerror(errno);
        return;
    }
    writeall(fd, content);
    close(fd);
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

mode_t mode(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        ADD_FAILURE() << "lstat " << path << ": " << strerror(errno);
        return mode_t(-1);
    }
    return st.st_mode & 07777;
}
