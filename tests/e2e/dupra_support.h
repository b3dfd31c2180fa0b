// What the dupra tests share: a scratch directory that is also the
// program's working directory, and the texts the program writes, built the
// way it builds them.
#ifndef DUPRA_SUPPORT_H
#define DUPRA_SUPPORT_H

#include <cstring>
#include <string>
#include <vector>

#include "harness.h"

// Paths typed relative to the scratch directory are printed as typed, so
// the expected texts stay short.
class dupratest : public ::testing::Test {
protected:
    scratch s;

    result dupra(const std::vector<std::string> &args, const std::string &input = "")
    {
        return run(DUPRA_PATH, args, input, s.path);
    }

    // A scratch item as a canonical path prints it.
    std::string canonical(const std::string &name) { return winpath(s / name); }
};

// --- the program's texts ---------------------------------------------------

inline std::string usageline()
{
    return "usage: dupra [-vidostynzfrw] [-l logfile] file1.. filen\n";
}

// "dupra: cannot copy <what>.": the first line of every refusal.
inline std::string refused(const std::string &what)
{
    return "dupra: cannot copy " + what + ".\n";
}

// The second line of a refusal, and of a failed copy's report.
inline std::string pairline(const std::string &from, const std::string &to)
{
    return "\t" + from + " -> " + to + "\n";
}

// A system error report: the code, the caller's text, and the system's
// own text for the errno behind the code, with its line end.
inline std::string syserror(int code, const std::string &what, int errnum)
{
    return "dupra: error " + std::to_string(code) + " " + what + systemtext(code, errnum);
}

// The report of a copy call that failed.
inline std::string copyfailed(int code, int errnum, const std::string &from, const std::string &to)
{
    return syserror(code, "mvfile2newfile() ", errnum) + pairline(from, to);
}

// The report of another failed call: the path, then the line naming it.
inline std::string callfailed(int code, int errnum, const std::string &path,
                              const std::string &callline)
{
    return syserror(code, path + ": ", errnum) + "\t" + callline + "\n";
}

// --- prompts and the overwrite policy's lines ------------------------------

inline std::string confirmprompt(const std::string &from, const std::string &to)
{
    return from + " -> " + to + "? y/n/q: ";
}

// Written whenever an existing writable file is met, whatever the flags.
inline std::string overwiteline(const std::string &path)
{
    return "overwite(" + path + ")\n";
}

inline std::string overwriteprompt(const std::string &path)
{
    return path + ": overwrite? y/n/a/u/0: ";
}

inline std::string readonlyprompt(const std::string &path)
{
    return path + ": read-only file, overwrite? y/n/a/u/0: ";
}

// The empty-file test's line for a file of `size` bytes (below 4 GiB).
inline std::string emptytestline(const std::string &path, unsigned long size)
{
    return "file=" + path + " lerr=0,high=0,low=" + std::to_string(size) +
           ",ret=" + (size == 0 ? "1" : "0") + "\n";
}

// The trace line of -v.
inline std::string traceline(const std::string &from, const std::string &to)
{
    return from + " -> " + to + "\n";
}

// --- comparing items -------------------------------------------------------

// A creation time as the record keeps it: in whole 100 ns units.
inline int64_t increation(const timespec &t)
{
    int64_t ns = nanoseconds(t);
    return ns - ((ns % 100) + 100) % 100;
}

// compare() without the access times of symbolic links.  Reading a link
// moves its access time, whoever reads it (snapshot() too, and any path
// resolved through the link), and nothing can read a link without; so no
// copy can keep it.
inline std::string comparetrees(tree a, tree b, int leaveout = sameall)
{
    for (tree *t : {&a, &b})
        for (auto &named : *t)
            if (named.second.type == kind::link)
                named.second.atime = 0;
    return compare(a, b, leaveout);
}

// Every difference between two items, as compare() shows it ("" when none).
inline std::string diffitems(const std::string &a, const std::string &b, int leaveout = sameall)
{
    return comparetrees(tree{{"item", readitem(a)}}, tree{{"item", readitem(b)}}, leaveout);
}

// A tree with everything but its directories left out.
inline tree dirsonly(const tree &t)
{
    tree dirs;
    for (const auto &[name, it] : t)
        if (it.type == kind::dir)
            dirs[name] = it;
    return dirs;
}

#endif
