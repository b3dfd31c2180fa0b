// The harness checked against the shell and the file system, so that a
// failing program test is never the harness's own fault.
#include "harness.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

TEST(HarnessRun, FeedsInputAndKeepsStreamsApart)
{
    result r = run("/bin/sh", {"-c", "cat; echo to-err >&2; exit 3"}, "line one\nline two");
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("line one\nline two", r.out);
    EXPECT_EQ("to-err\n", r.err);
}

TEST(HarnessRun, InputEndsWithEof)
{
    // A reader that asks for more than there is must see the end, not hang.
    result r = run("/bin/sh", {"-c", "read a; read b || echo eof"}, "y\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("eof\n", r.out);
}

TEST(HarnessRun, LargeOutputOnBothStreams)
{
    result r = run("/bin/sh", {"-c", "head -c 1000000 /dev/zero; head -c 700000 /dev/zero >&2"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(1000000u, r.out.size());
    EXPECT_EQ(700000u, r.err.size());
}

TEST(HarnessRun, ArgvZeroAsChosen)
{
    command c;
    c.program = "/bin/sh";
    c.args = {"-c", "tr '\\0' '|' </proc/$$/cmdline"};
    EXPECT_EQ("/bin/sh|-c|", run(c).out.substr(0, 11));
    c.argv0 = "other-name";
    EXPECT_EQ("other-name|-c|", run(c).out.substr(0, 14));
}

TEST(HarnessRun, WorkingDirectoryAndEnvironment)
{
    scratch s;
    command c;
    c.program = "/bin/sh";
    c.args = {"-c", "pwd -P; echo \"$ONLY\"; echo \"${HOME-unset}\""};
    c.cwd = s.path;
    c.env = std::vector<std::string>{"ONLY=this"};
    result r = run(c);
    EXPECT_EQ(s.path + "\nthis\nunset\n", r.out);
}

TEST(HarnessRun, SignalShowsAsNegativeStatus)
{
    result r = run("/bin/sh", {"-c", "kill -TERM $$"});
    EXPECT_EQ(-SIGTERM, r.status);
}

TEST(HarnessRun, ExecFailureIsReported)
{
    result r = run("/nonexistent/program", {});
    EXPECT_EQ(127, r.status);
    EXPECT_NE(std::string::npos, r.err.find("exec"));
}

TEST(HarnessRun, AsAnotherUser)
{
    SKIP_UNLESS_ROOT();
    command c;
    c.program = "/bin/sh";
    c.args = {"-c", "id -u; id -g; id -G"};
    c.runas = nobody();
    std::string id = std::to_string(nobody().uid) + "\n" + std::to_string(nobody().gid) + "\n";
    EXPECT_EQ(id + std::to_string(nobody().gid) + "\n", run(c).out);
}

TEST(HarnessScratch, RemovesReadOnlyTreeWithoutFollowingLinks)
{
    scratch outside;
    writefile(outside / "keep.txt", "keep");
    maketree(outside.path, {dir("keepdir"), file("keepdir/inner", "x").mode(0444)});

    std::string where;
    {
        scratch s;
        where = s.path;
        maketree(s.path, {
            file("ro.txt", "x").mode(0444),
            dir("ro").mode(0555),
            file("ro/inner.txt", "y").mode(0400),
            dir("ro/closed").mode(0),
            file("ro/closed/deep", "z"),
            softlink("tofile", outside / "keep.txt"),
            softlink("todir", outside / "keepdir"),
            fifo("pipe"),
        });
        ASSERT_EQ(0555u, mode(s / "ro"));
        ASSERT_EQ(0u, mode(s / "ro/closed"));
    }
    EXPECT_FALSE(exists(where));
    EXPECT_EQ("keep", readfile(outside / "keep.txt"));
    EXPECT_EQ("x", readfile(outside / "keepdir/inner"));
    EXPECT_EQ(0444u, mode(outside / "keepdir/inner"));
}

TEST(HarnessScratch, UnderAnotherBase)
{
    SKIP_UNLESS_OTHERFS("/dev/shm");
    scratch here, there("/dev/shm");
    struct stat a, b;
    ASSERT_EQ(0, stat(here.path.c_str(), &a));
    ASSERT_EQ(0, stat(there.path.c_str(), &b));
    EXPECT_NE(a.st_dev, b.st_dev);
    EXPECT_EQ(0u, there.path.find("/dev/shm/"));
}

TEST(HarnessTimes, AtIsUtcWithNanoseconds)
{
    SKIP_POSIX_ONLY("the harness's own readings, which it adapts under Wine on purpose");
    EXPECT_EQ(1000000005, nanoseconds(at(1970, 1, 1, 0, 0, 1, 5)));
    EXPECT_EQ("2001-02-03 04:05:06.000000007", showtime(nanoseconds(at(2001, 2, 3, 4, 5, 6, 7))));
    EXPECT_EQ("1969-12-31 23:59:59.999999999", showtime(-1));
}

TEST(HarnessTimes, CreationRecordLayout)
{
    SKIP_POSIX_ONLY("the harness's own readings, which it adapts under Wine on purpose");
    scratch s;
    maketree(s.path, {dir("d")});
    // Time 1970 makes the time field 116444736000000000 = 0x019DB1DED53E8000.
    ASSERT_EQ(0, setcreation(s / "d", at(1970, 1, 1), 0x10));
    unsigned char rec[64];
    ssize_t n = lgetxattr((s / "d").c_str(), "user.DOSATTRIB", rec, sizeof rec);
    ASSERT_EQ(24, n);
    const unsigned char want[24] = {0x00, 0x00, 0x05, 0x00, 0x05, 0x00, 0x00, 0x00,
                                    0x11, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00,
                                    0x00, 0x80, 0x3E, 0xD5, 0xDE, 0xB1, 0x9D, 0x01};
    EXPECT_EQ(0, memcmp(want, rec, 24));
    EXPECT_EQ(0, creation(s / "d"));
    EXPECT_EQ(0x10, dosattributes(s / "d"));
}

TEST(HarnessTree, MakeTreeSetsEverything)
{
    SKIP_POSIX_ONLY("the harness's own readings, which it adapts under Wine on purpose");
    scratch s;
    timespec a = at(2001, 2, 3, 4, 5, 6, 123456789);
    timespec w = at(2002, 3, 4, 5, 6, 7, 987654321);
    timespec c = at(2000, 1, 2, 3, 4, 5, 123456700);
    maketree(s.path, {
        file("a.txt", "hello").times(a, w).ctime(c),
        file("sub/ro.txt", "ro").mode(0444).ctime(c),
        dir("sub").mode(0555).times(a, w),
        softlink("link", "a.txt"),
        fifo("pipe"),
    });
    tree t = snapshot(s.path);
    ASSERT_EQ(6u, t.size()) << compare(t, tree());
    EXPECT_EQ(kind::dir, t["."].type);
    EXPECT_EQ("hello", t["a.txt"].data);
    EXPECT_EQ(0644u, t["a.txt"].perm);
    EXPECT_EQ(nanoseconds(a), t["a.txt"].atime);
    EXPECT_EQ(nanoseconds(w), t["a.txt"].mtime);
    EXPECT_EQ(nanoseconds(c), t["a.txt"].created);
    EXPECT_EQ(0x20, dosattributes(s / "a.txt"));
    EXPECT_EQ(0x21, dosattributes(s / "sub/ro.txt"));
    EXPECT_EQ(0444u, t["sub/ro.txt"].perm);
    // The directory was filled before its mode and times were set.
    EXPECT_EQ(kind::dir, t["sub"].type);
    EXPECT_EQ(0555u, t["sub"].perm);
    EXPECT_EQ(nanoseconds(w), t["sub"].mtime);
    EXPECT_EQ(nanoseconds(a), t["sub"].atime);
    EXPECT_EQ(kind::link, t["link"].type);
    EXPECT_EQ("a.txt", t["link"].data);
    EXPECT_EQ(kind::fifo, t["pipe"].type);
}

TEST(HarnessTree, SnapshotLeavesAccessTimesAlone)
{
    scratch s;
    // Access times older than the write times: a plain read would move them.
    timespec a = at(2001, 1, 1), w = at(2002, 1, 1);
    maketree(s.path, {dir("d").times(a, w), file("d/f", "data").times(a, w),
                      softlink("d/l", "f").times(a, w)});
    tree first = snapshot(s / "d");
    tree second = snapshot(s / "d");
    EXPECT_EQ("", compare(first, second));
    EXPECT_EQ(nanoseconds(a), second["."].atime);
    EXPECT_EQ(nanoseconds(a), second["f"].atime);
    EXPECT_EQ(nanoseconds(a), second["l"].atime);
    EXPECT_EQ("data", readfile(s / "d/f"));
    EXPECT_EQ(nanoseconds(a), readitem(s / "d/f").atime);
}

TEST(HarnessTree, SnapshotLeavesLinkAccessTimesAlone)
{
    scratch s;
    // Older than a day, so that even relatime would move it on a read.
    timespec a = at(2003, 1, 1), w = at(2002, 1, 1);
    maketree(s.path, {dir("d"), softlink("d/link", "f").times(a, w)});
    tree first = snapshot(s / "d");
    tree second = snapshot(s / "d");
    EXPECT_EQ("", compare(first, second));
    EXPECT_EQ(nanoseconds(a), second["link"].atime);
}

// Two trees alike but for one thing, and the line compare gives for it.
struct onedifference {
    const char *what;
    node second;
    int leaveout;
    const char *expected;
};

TEST(HarnessTree, CompareShowsEachDifference)
{
    SKIP_POSIX_ONLY("the harness's own readings, which it adapts under Wine on purpose");
    timespec t = at(2001, 2, 3, 4, 5, 6, 0);
    timespec t1 = at(2001, 2, 3, 4, 5, 6, 1);
    timespec c = at(1999, 1, 1);
    timespec c1 = at(1999, 1, 1, 0, 0, 0, 100);
    const onedifference cases[] = {
        {"same", file("f", "abc").times(t, t).ctime(c), 0, ""},
        {"write 1 ns", file("f", "abc").times(t, t1).ctime(c), 0,
         "f: write time 2001-02-03 04:05:06.000000000 vs 2001-02-03 04:05:06.000000001\n"},
        {"access 1 ns", file("f", "abc").times(t1, t).ctime(c), 0,
         "f: access time 2001-02-03 04:05:06.000000000 vs 2001-02-03 04:05:06.000000001\n"},
        {"access left out", file("f", "abc").times(t1, t).ctime(c), noatime, ""},
        {"creation 100 ns", file("f", "abc").times(t, t).ctime(c1), 0,
         "f: creation time 1999-01-01 00:00:00.000000000 vs 1999-01-01 00:00:00.000000100\n"},
        {"creation left out", file("f", "abc").times(t, t).ctime(c1), nocreated, ""},
        {"content", file("f", "abd").times(t, t).ctime(c), 0, "f: content \"abc\" vs \"abd\"\n"},
        {"mode", file("f", "abc").mode(0444).times(t, t).ctime(c), 0, "f: mode 0644 vs 0444\n"},
        {"kind", dir("f").times(t, t).ctime(c), 0, "f: file vs directory\n"},
        {"name", file("g", "abc").times(t, t).ctime(c), 0,
         "f: only in first (file)\ng: only in second (file)\n"},
    };
    for (const onedifference &k : cases) {
        scratch s;
        node n = k.second;
        n.name = "b/" + n.name;
        maketree(s.path, {
            file("a/f", "abc").times(t, t).ctime(c),
            dir("a").times(t, t).ctime(c),
            n,
            dir("b").times(t, t).ctime(c),
        });
        EXPECT_EQ(k.expected, compare(snapshot(s / "a"), snapshot(s / "b"), k.leaveout))
            << k.what;
    }
}

TEST(HarnessTree, RootTimesCanBeLeftOut)
{
    SKIP_POSIX_ONLY("the harness's own readings, which it adapts under Wine on purpose");
    scratch s;
    maketree(s.path, {dir("a").mtime(at(2001, 1, 1)), dir("b").mtime(at(2001, 1, 1, 0, 0, 0, 1))});
    EXPECT_NE("", compare(snapshot(s / "a"), snapshot(s / "b"), noatime | nocreated));
    EXPECT_EQ("", compare(snapshot(s / "a"), snapshot(s / "b"), noroottimes | nocreated));
}

TEST(HarnessFacilities, WinpathAndOtherfs)
{
    SKIP_POSIX_ONLY("the harness's own readings, which it adapts under Wine on purpose");
    EXPECT_EQ("\\tmp\\x\\a", winpath("/tmp/x/a"));
    EXPECT_EQ("rel\\b\\", winpath("rel/b/"));
    scratch s;
    EXPECT_FALSE(otherfs(s.path.c_str()));
}
