// The process's main entry: wildcard arguments are expanded before the
// program reads its options.
#include <clocale>
#include <new>

#include "frame.h"

int main(int argc, char **argv)
{
    setlocale(LC_CTYPE, ""); // double-byte characters in paths follow the user's locale
    cmdname = argc > 0 ? argv[0] : "";
    try {
        int n;
        char **args;
        if (expandargs(argc, argv, &n, &args) != 0)
            return 1;
        return parseopts(n, args);
    } catch (const std::bad_alloc &) {
        nomemory();
    }
}
