// relka run by an unprivileged user where the system says no: a source it
// may not remove, a source directory it may not read or remove.  Nothing
// may be lost, every refusal is reported, and the run ends with status 1.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "relka_fixture.h"

namespace relkatests {
namespace {

class RelkaAsUser : public relkatest {
protected:
    void SetUp() override
    {
        SKIP_UNLESS_ROOT();
        SKIP_POSIX_ONLY("the program runs as another POSIX user, which Wine's server refuses");
        opento(s.path);
    }

    // A scratch directory the unprivileged user may pass through.
    static void opento(const std::string &path)
    {
        if (chmod(path.c_str(), 0755) != 0)
            ADD_FAILURE() << "chmod " << path << ": " << strerror(errno);
    }

    static void giveaway(const std::string &path)
    {
        if (lchown(path.c_str(), nobody().uid, nobody().gid) != 0)
            ADD_FAILURE() << "lchown " << path << ": " << strerror(errno);
    }

    static result relkaasuser(const std::string &cwd, const args &a)
    {
        command c;
        c.program = RELKA_PATH;
        c.args = a;
        c.cwd = cwd;
        c.runas = nobody();
        return run(c);
    }
};

// The source lies in a directory the user may not write, so it cannot be
// taken away from there.  The move fails as a whole: the source stays, and
// a file it was to replace stays as it was.
TEST_F(RelkaAsUser, SourceThatCannotBeRemoved)
{
    struct lockedcase {
        bool crossfs;
        bool replacing; // onto an existing file, else to a new name
    };
    const lockedcase cases[] = {{false, true}, {false, false}, {true, true}, {true, false}};
    for (const lockedcase &k : cases) {
        std::string label = std::string(k.crossfs ? "across file systems" : "one file system") +
                            (k.replacing ? ", replacing" : ", new name");
        if (k.crossfs && !otherfs("/dev/shm")) {
            ADD_FAILURE() << "no second file system for " << label;
            continue;
        }
        scratch here, other(k.crossfs ? "/dev/shm" : "");
        opento(here.path);
        opento(other.path);
        // Across file systems the paths are absolute, else relative.
        const scratch &source = k.crossfs ? other : here;
        std::string locked = k.crossfs ? other / "locked" : "locked";
        std::string out = k.crossfs ? here / "out" : "out";
        maketree(source.path, {aged(dir("locked"), 1).mode(0555), aged(file("locked/a.txt", "new\n"), 2)});
        maketree(here.path, {aged(dir("out"), 3).mode(0755), aged(file("out/b.txt", "old\n"), 4)});
        giveaway(here / "out");
        giveaway(here / "out/b.txt");
        tree sourcebefore = snapshot(source / "locked");
        tree destbefore = snapshot(here / "out");

        const std::string from = locked + "/a.txt";
        const std::string to = out + (k.replacing ? "/b.txt" : "/new.txt");
        result r = relkaasuser(here.path, {"-y", "--", from, to});
        EXPECT_EQ(1, r.status) << label;
        EXPECT_EQ(std::string(k.replacing ? "overwite(" + to + ")\n" : "") +
                      "relka: error 5 mvfile2newfile() Permission denied\n\t" + from + " -> " +
                      to + "\n",
                  r.out)
            << label;
        EXPECT_EQ("", r.err) << label;
        EXPECT_EQ("", compare(sourcebefore, snapshot(source / "locked"))) << label;
        EXPECT_EQ("", compare(destbefore, snapshot(here / "out"), noroottimes)) << label;
    }
}

// A source directory whose listing the user may not read was not moved:
// its line is reported, its contents stay, and the run fails.
TEST_F(RelkaAsUser, UnreadableSourceDirectory)
{
    maketree(s.path, {aged(dir("src"), 1).mode(0300), aged(file("src/a.txt", "a\n"), 2),
                      aged(dir("d"), 3), aged(dir("d/src"), 4)});
    // All the user's own, so that nothing but the listing is refused.
    for (const char *name : {".", "src", "d", "d/src"})
        giveaway(s / name);
    item inside = readitem(s / "src/a.txt");

    result r = relkaasuser(s.path, {"src", "d"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("src: Permission denied\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("", sameitem(inside, readitem(s / "src/a.txt")));
    EXPECT_EQ(1u, snapshot(s / "d/src").size()) << "nothing arrives";
}

// The same piece by piece, across file systems.
TEST_F(RelkaAsUser, UnreadableSourceDirectoryAcrossFileSystems)
{
    SKIP_UNLESS_OTHERFS("/dev/shm");
    scratch other("/dev/shm");
    opento(other.path);
    maketree(other.path, {aged(dir("src"), 1).mode(0300), aged(file("src/a.txt", "a\n"), 2)});
    giveaway(other.path);
    giveaway(other / "src");
    giveaway(s.path);
    item inside = readitem(other / "src/a.txt");

    result r = relkaasuser(s.path, {"--", other / "src", "dst"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(other / "src" + ": Permission denied\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("", sameitem(inside, readitem(other / "src/a.txt")));
}

// An emptied source directory that cannot be removed for another reason
// than entries left in it is a failure, reported with its call; a
// read-only one keeps its bit.  To a new name, the rename is refused the
// same way (access denied), so the directory is moved piece by piece.
TEST_F(RelkaAsUser, SourceDirectoryThatCannotBeRemoved)
{
    struct removecase {
        mode_t perm;
        bool withfile;
        const char *dest;
        const char *target; // where the contents arrive
    };
    const removecase cases[] = {
        {0755, true, "d", "d/src"},  {0555, false, "d", "d/src"}, {0700, false, "d", "d/src"},
        {0755, true, "dst", "dst"},  {0555, false, "dst", "dst"},
    };
    for (const removecase &k : cases) {
        scratch here;
        opento(here.path);
        maketree(here.path, {aged(dir("locked/src"), 1).mode(k.perm), aged(dir("d"), 3),
                             aged(dir("d/src"), 4)});
        if (k.withfile)
            maketree(here.path, {aged(file("locked/src/a.txt", "a\n"), 2)});
        // The user's own, but in a directory it may not write.
        for (const char *name : {".", "locked/src", "d", "d/src"})
            giveaway(here / name);
        if (k.withfile)
            giveaway(here / "locked/src/a.txt");
        tree before = snapshot(here.path);

        result r = relkaasuser(here.path, {"locked/src", k.dest});
        std::string label = "mode " + std::to_string(k.perm) + " to " + k.dest;
        EXPECT_EQ(1, r.status) << label;
        EXPECT_EQ("relka: error 5 locked/src: Permission denied\n"
                  "\tRemoveDirectory(locked/src)=0\n",
                  r.out)
            << label;
        EXPECT_EQ("", r.err) << label;
        EXPECT_EQ(k.perm, mode(here / "locked/src")) << label;
        EXPECT_EQ(1u, snapshot(here / "locked/src").size()) << label;
        if (k.withfile) {
            EXPECT_EQ("", sameitem(before["locked/src/a.txt"], readitem(here / k.target + "/a.txt")))
                << label;
        }
        // The destination takes the source's times after its contents; a
        // new one its bits too.
        item want = before["locked/src"];
        if (std::string(k.dest) == "d")
            want.perm = before["d/src"].perm;
        EXPECT_EQ("", sameitem(want, readitem(here / k.target))) << label;
    }
}


// A read-only directory gives none of its entries up to an ordinary user
// on POSIX, though on Windows its read-only bit would not stop the move.
// Moved piece by piece (to another file system), it is unlocked first, so
// the tree arrives whole and the source goes away.
TEST_F(RelkaAsUser, ReadOnlyTreeAcrossFileSystems)
{
    SKIP_UNLESS_OTHERFS("/dev/shm");
    scratch other("/dev/shm");
    opento(other.path);
    maketree(other.path, {aged(dir("src"), 1).mode(0555), aged(dir("src/sub"), 2).mode(0555),
                          aged(file("src/sub/a.txt", "a\n"), 3).mode(0444)});
    for (const char *name : {".", "src", "src/sub", "src/sub/a.txt"})
        giveaway(other / name);
    giveaway(s.path);
    tree before = snapshot(other / "src");

    result r = relkaasuser(s.path, {"--", other / "src", "dst"});
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ("", r.out + r.err);
    EXPECT_FALSE(exists(other / "src"));
    EXPECT_EQ("", compare(before, snapshot(s / "dst")));
}

} // namespace
} // namespace relkatests
