// What the relka tests share: a scratch directory to run in, distinct
// times for the items of a fixture, and the checks that an item which was
// moved is the item that stood at the source before.
#ifndef E2E_RELKA_FIXTURE_H
#define E2E_RELKA_FIXTURE_H

#include <sys/stat.h>

#include <string>
#include <vector>

#include "harness.h"

namespace relkatests {

typedef std::vector<std::string> args;

inline std::string show(const args &a)
{
    std::string s;
    for (const std::string &w : a)
        s += " '" + w + "'";
    return s;
}

// Distinct times for the k-th item of a fixture (k from 1 to 28), each
// with nanoseconds; the creation time is a whole number of 100 ns, as the
// record holds it.  Far in the past, so that no clock-driven access-time
// update could pass for a carried one.
inline node aged(node n, int k)
{
    n.times(at(2003, 3, k, 10, 20, 30, 123456789 + k), at(2002, 2, k, 11, 21, 31, 987654321 - k));
    if (n.type != kind::link)
        n.ctime(at(2001, 1, k, 12, 22, 32, 100 * (k + 1)));
    return n;
}

// One item against another, as compare() tells trees apart.
inline std::string sameitem(const item &a, const item &b, int leaveout = sameall)
{
    return compare(tree{{".", a}}, tree{{".", b}}, leaveout);
}

inline ino_t inode(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        ADD_FAILURE() << "lstat " << path;
        return 0;
    }
    return st.st_ino;
}

// relka run in a fresh scratch directory, with paths relative to it.
class relkatest : public ::testing::Test {
protected:
    scratch s;

    result relka(const args &a, const std::string &input = "")
    {
        return run(RELKA_PATH, a, input, s.path);
    }

    // The canonical path of a name in the scratch directory, as the
    // program prints it.
    std::string canonical(const std::string &name) const
    {
        return winpath(s / name);
    }
};

} // namespace relkatests

#endif
