// Support for the end-to-end tests: scratch directories, running a built
// program with given input, building trees with set times, and reading a
// tree back so that two trees can be compared item by item.
#ifndef E2E_HARNESS_H
#define E2E_HARNESS_H

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// --- scratch directories ---------------------------------------------------

// A fresh directory, removed whole when the object goes.  `path` is physical
// (symbolic links resolved), as the programs print full paths.
struct scratch {
    std::string path;

    // Made under $TMPDIR or /tmp, or under `base` when one is given (for
    // instance "/dev/shm" for a second file system).
    explicit scratch(const std::string &base = "");
    ~scratch();
    scratch(const scratch &) = delete;
    scratch &operator=(const scratch &) = delete;
};

// s / "sub/a.txt" is the path of sub/a.txt inside the scratch directory.
std::string operator/(const scratch &s, const std::string &name);

// Removes a tree without following links, first giving read-only
// directories back their write and search bits.  Returns 0 or -1.
int removetree(const std::string &path);

// --- running programs ------------------------------------------------------

struct result {
    int status; // the exit status, or minus the signal that ended the process
    std::string out, err;
};

// The user a program runs as, for tests that need an unprivileged one.
struct account {
    uid_t uid;
    gid_t gid;
};
account nobody();

struct command {
    std::string program;                        // path of the executable
    std::vector<std::string> args;              // argv[1] onwards
    std::string argv0;                          // empty: the program path
    std::string input;                          // standard input, then EOF
    std::string cwd;                            // empty: the test's own
    std::optional<account> runas;               // needs root
    std::optional<std::vector<std::string>> env; // "NAME=value"; else inherited
};

result run(const command &c);
result run(const std::string &program, const std::vector<std::string> &args,
           const std::string &input = "", const std::string &cwd = "");

// --- times -----------------------------------------------------------------

// A moment in UTC: at(2001, 2, 3, 4, 5, 6, 7) is 2001-02-03 04:05:06 and 7 ns.
timespec at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
            long nanoseconds = 0);
int64_t nanoseconds(const timespec &t);
// A time as the programs' platform keeps it: under Wine in whole 100 ns
// units, the unit of a Windows file time.
int64_t intime(int64_t ns);
std::string showtime(int64_t ns); // "2001-02-03 04:05:06.000000007"

// The creation time as the programs store it: the version-5 record in the
// user.DOSATTRIB attribute, in 100 ns units.  `attributes` is the record's
// attribute word (0x20 file, 0x10 directory, plus 0x1 when read-only).
// Returns 0 or -1.
int setcreation(const std::string &path, const timespec &t, uint32_t attributes);

// The creation time in ns since 1970, as the programs read it: from the
// record when one is there, else the birth time, else the write time.
// Always a multiple of 100 ns, since that is all the record can hold.
int64_t creation(const std::string &path);

// The attribute word of the record, or -1 when the item has none.
long dosattributes(const std::string &path);

// --- building trees --------------------------------------------------------

enum class kind { file, dir, link, fifo, other };

// One item of a tree to build.  Unset times and modes are left as made.
struct node {
    kind type = kind::file;
    std::string name;    // relative to the root, may hold '/'; "." is the root
    std::string content; // file content, or link target
    std::optional<mode_t> perm; // else 0644, or 0755 for directories
    std::optional<timespec> access, write, created;

    node &mode(mode_t m) { perm = m; return *this; }
    node &atime(const timespec &t) { access = t; return *this; }
    node &mtime(const timespec &t) { write = t; return *this; }
    node &times(const timespec &a, const timespec &w) { access = a; write = w; return *this; }
    node &ctime(const timespec &t) { created = t; return *this; } // creation time
};

node file(const std::string &name, const std::string &content = "");
node dir(const std::string &name);
node softlink(const std::string &name, const std::string &target); // a symbolic link
node fifo(const std::string &name);

// Makes the items under root in table order; missing parent directories are
// made on the way.  Modes and times are set last, directories deepest first,
// so read-only directories and directory times survive their own filling.
// A failure is reported as a test failure.
void maketree(const std::string &root, std::initializer_list<node> nodes);

// --- reading trees ---------------------------------------------------------

struct item {
    kind type = kind::other;
    std::string data;   // file content, or link target
    mode_t perm = 0;    // permission bits, 07777
    int64_t atime = 0;  // ns since 1970
    int64_t mtime = 0;
    int64_t created = 0; // as creation() reads it
};

// Every item below root by relative name, root itself as ".".  Links are not
// followed, and nothing read changes an access time.
typedef std::map<std::string, item> tree;
tree snapshot(const std::string &root);
item readitem(const std::string &path);

// What compare leaves out.
enum {
    sameall = 0,
    noatime = 1,     // access times
    nocreated = 2,   // creation times
    noroottimes = 4, // the root directory's own times
    nomode = 8,      // permission bits
};

// Every difference, one line each ("" when none), so that
// EXPECT_EQ("", compare(...)) shows exactly what differs.  Links keep no
// creation time of their own on Linux, so theirs is never compared.
std::string compare(const tree &a, const tree &b, int leaveout = sameall);

// --- small facilities ------------------------------------------------------

bool isroot();
bool otherfs(const char *path); // a file system other than the scratch default
// '/' -> '\'; under Wine the Z: drive, which maps the POSIX root, goes first.
std::string winpath(const std::string &posixpath);
std::string readfile(const std::string &path);
// A log file that a program wrote: a text stream, so with CR LF line ends
// under Wine, which come back as LF as run() gives the standard streams.
std::string readlog(const std::string &path);
void writefile(const std::string &path, const std::string &content);
bool exists(const std::string &path); // also a dangling link
mode_t mode(const std::string &path); // permission bits of the item itself

// --- the Windows build under Wine ------------------------------------------
//
// With E2E_RUNNER set (the Wine loader) and E2E_EXE_DIR (the directory of
// the Windows build), run() starts E2E_EXE_DIR/<program>.exe under the
// runner instead of the program itself.  The tests then check the Windows
// behaviour from outside, with the same POSIX calls as ever, and adapt
// where the platform differs:
// - standard output and error are text streams with CR LF line ends; run()
//   requires them and gives the tests LF (a bare LF is left for the test to
//   see);
// - a full path is a Z: path (winpath);
// - the system's message texts are its own (systemtext);
// - file times are kept in 100 ns units (at() rounds to them there).
// Where Wine differs from Windows itself, the test that meets it says so
// through one of the names below.
bool underwine();

// The system's text for an error, as the error report prints it with its
// own line end: Windows' text for `code` under Wine, else the text for the
// errno behind the code.
std::string systemtext(unsigned code, int errnum);

// argv[0] of a program that run() started with no argv0 of its own: its
// path, or under Wine the Windows path of its .exe.
std::string invokedas(const std::string &program);

// The run time library's text for errno (perror, strerror) with its line end.
std::string libtext(int errnum);

// Cases with no Windows meaning (symbolic links, FIFOs, POSIX users and
// modes, mounts, the extended attribute that keeps creation times on POSIX)
// are excluded under Wine with the reason.
#define SKIP_POSIX_ONLY(reason)                                                      \
    do {                                                                             \
        if (underwine())                                                             \
            GTEST_SKIP() << "POSIX only: " << (reason);                              \
    } while (0)

// The Wine differences from Windows that tests meet.  Each test that meets
// one states the Windows behaviour and names the difference where it
// expects Wine's instead.
enum winediff {
    // SetFileTime ignores a creation time; it reads back as the write time.
    winecreation,
    // The read-only attribute of a directory is neither set nor reported.
    winedirreadonly,
    // CreateDirectoryExA ignores its template directory.
    winetemplate,
    // MoveFileA of a directory across file systems fails with error 5.
    winecrossdir,
    // As root a read-only file can be overwritten.
    winerootreadonly,
    // MoveFileA of a read-only file across file systems fails with error 5
    // and leaves the file where it was.
    winecrossreadonly,
    // A copy that runs out of space leaves the part it wrote at the
    // destination, also in place of a file it was to replace.
    winediskfull,
    // A read-only file system refuses writes with error 5, not 19.
    winereadonlyfs,
};

// True when the test runs under Wine and so meets `difference`.
bool winediffers(winediff difference);

// What a test reads back where the programs set a creation time: the time
// set, as Windows keeps it, or under Wine (winecreation) the item's write
// time, `written`.
int64_t createdas(const timespec &set, int64_t written);
int64_t createdas(int64_t set, int64_t written);

// The mode of a directory that CreateDirectoryExA made from a template of
// mode `templ`: the template's, or under Wine (winetemplate) the mode a
// new directory gets.
mode_t madedirmode(mode_t templ);

// A directory's mode after the programs cleared its read-only bit and set
// it again or not: `after`, or under Wine (winedirreadonly), which clears
// the bit but never sets it, `after` with the owner's write bit.
mode_t dirmodeafter(mode_t after);

// Excludes a case whose whole point Wine does not hold, naming the
// difference.
#define SKIP_WINE_DIFFERS(difference, what)                                        \
    do {                                                                             \
        if (winediffers(difference))                                                 \
            GTEST_SKIP() << "Wine differs from Windows: " << (what);                 \
    } while (0)

#define SKIP_UNLESS_ROOT()                                                           \
    do {                                                                             \
        if (!isroot())                                                               \
            GTEST_SKIP() << "needs root";                                            \
    } while (0)

#define SKIP_UNLESS_OTHERFS(path)                                                    \
    do {                                                                             \
        if (!otherfs(path))                                                          \
            GTEST_SKIP() << (path) << " is not a second writable file system";       \
    } while (0)

#endif
