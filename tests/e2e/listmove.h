// What the move-list tests share: the two programs, move lists written from
// (kind, path) pairs, and a fixture that runs a program in a scratch
// directory.
#ifndef E2E_LISTMOVE_H
#define E2E_LISTMOVE_H

#include <ostream>
#include <string>
#include <vector>

#include "harness.h"

struct listtool {
    const char *name;
    const char *path;
    bool timed; // directory lines carry the source directory's times
    const char *usage;
};

inline const listtool listtools[] = {
    {"barvo", BARVO_PATH, true, "usage: barvo [-vidotynzfrw] [-l logfile] srcdir dstdir list\n"},
    {"barvik", BARVIK_PATH, false, "usage: barvik [-vidtynzfrw] [-l logfile] srcdir dstdir list\n"},
};

// Failing tests name the program, not its bytes.
inline void PrintTo(const listtool &tool, std::ostream *os)
{
    *os << tool.name;
}

inline std::string listtoolname(const ::testing::TestParamInfo<listtool> &info)
{
    return info.param.name;
}

enum linekind { fileline, dirline };

struct listed {
    linekind kind;
    std::string path;
};

// Columns 1 to 11 are the kind field, and "<" in column 1 makes a directory
// line; the path starts in column 12.
inline std::string listline(const listed &l)
{
    return (l.kind == dirline ? "<DIR>      " : "           ") + l.path;
}

inline std::string listtext(const std::vector<listed> &lines, const std::string &eol = "\n")
{
    std::string text;
    for (const listed &l : lines)
        text += listline(l) + eol;
    return text;
}

typedef std::vector<std::string> words;

// Every item below root by relative name, in byte order: a test compares
// them whole, so that an item moved anywhere unexpected shows.
inline words names(const std::string &root)
{
    words all;
    for (const auto &entry : snapshot(root))
        if (entry.first != ".")
            all.push_back(entry.first);
    return all;
}

// A scratch directory and one of the two programs, run inside it.
class ListTest : public ::testing::TestWithParam<listtool> {
protected:
    const listtool &t = GetParam();
    scratch s;

    result runtool(const words &args, const std::string &input = "")
    {
        return run(t.path, args, input, s.path);
    }

    // The list text written to "moves", then the program run with the
    // options and then old, new, moves.
    result runlist(const std::string &text, const words &options = {},
                   const std::string &input = "")
    {
        writefile(s / "moves", text);
        words args = options;
        args.insert(args.end(), {"old", "new", "moves"});
        return runtool(args, input);
    }

    result runlist(const std::vector<listed> &lines, const words &options = {},
                   const std::string &input = "")
    {
        return runlist(listtext(lines), options, input);
    }

    // A message that begins with the program's name.
    std::string msg(const std::string &text) const
    {
        return std::string(t.name) + ": " + text;
    }
};

#endif
