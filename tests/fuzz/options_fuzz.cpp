// The shared option reader given any argument vector: it never reads past
// the vector, takes only letters the program accepts, and leaves every
// flag 0 or 1.  Linked with --wrap=exit so that the usage exit returns
// here, and --wrap=fopen so that no log file is ever made.
#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "common/frame.h"
#include "fuzz.h"

static jmp_buf back;
static bool running;

extern "C" [[noreturn]] void __real_exit(int status);
extern "C" FILE *__real_fopen(const char *path, const char *mode);

// The usage exit ends one input, not the fuzzer.
extern "C" [[noreturn]] void __wrap_exit(int status)
{
    if (running) {
        running = false;
        longjmp(back, 1);
    }
    __real_exit(status);
}

extern "C" FILE *__wrap_fopen(const char *, const char *mode)
{
    return __real_fopen("/dev/null", mode);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

static int *const flags[] = {&cflag, &dflag, &fflag, &iflag, &lflag, &nflag, &oflag,
                             &rflag, &sflag, &tflag, &vflag, &wflag, &yflag, &zflag};
static const char flagletters[] = "CDFILNORSTVWYZ";

static void resetflags()
{
    for (int *f : flags)
        *f = 0;
    cflag = 1;
    logfile = nullptr;
    if (msgout != stdout && msgout != nullptr)
        fclose(msgout);
    msgout = stdout;
}

// The copy tool's letters, or the list tools' without s.
static const identity tools[] = {
    {"dupra", "copy", "CDFILNORSTVWYZ", "usage: %s [-vidostynzfrw] [-l logfile] file1.. filen\n"},
    {"barvik", "move", "CDFILNRTVWYZ", "usage: %s [-vidtynzfrw] [-l logfile] srcdir dstdir list\n"},
};

// The input's first byte picks the program; the rest, split at NUL bytes,
// is the argument vector after argv[0].
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const identity &id = tools[data[0] % 2];
    std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
    std::vector<std::string> words = {"prog"};
    for (size_t start = 0; start <= rest.size() && words.size() < 64;) {
        size_t nul = rest.find('\0', start);
        if (nul == std::string::npos)
            nul = rest.size();
        words.push_back(rest.substr(start, nul - start));
        start = nul + 1;
    }
    // A vector that ends with a null pointer, as main receives it.
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    int argc = int(words.size());

    resetflags();
    volatile int first = -1;
    running = true;
    if (setjmp(back) == 0)
        first = readopts(id, argc, argv.data());
    running = false;

    for (int *f : flags)
        FUZZ_CHECK(*f == 0 || *f == 1);
    for (size_t i = 0; i < sizeof flagletters - 1; i++)
        if (*flags[i] && flagletters[i] != 'C' && flagletters[i] != 'D' && flagletters[i] != 'L')
            FUZZ_CHECK(strchr(id.letters, flagletters[i]) != nullptr);
    if (first != -1) {
        // An operand is left, and everything before it was an option or
        // the log file's name.
        FUZZ_CHECK(first >= 1 && first < argc);
        FUZZ_CHECK(lflag || logfile == nullptr);
    }
    resetflags();
    return 0;
}
