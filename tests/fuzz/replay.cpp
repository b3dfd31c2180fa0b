// Runs a fuzz target over the files of its corpus once, without libFuzzer:
// the seeds and every input that once broke a target are replayed as an
// ordinary test, in every build.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz.h"

static std::vector<std::string> filesin(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return {};
    if (!S_ISDIR(st.st_mode))
        return {path};
    std::vector<std::string> files;
    if (DIR *d = opendir(path.c_str())) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                files.push_back(path + "/" + e->d_name);
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    return files;
}

int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    size_t count = 0;
    for (int i = 1; i < argc; i++) {
        for (const std::string &file : filesin(argv[i])) {
            std::ifstream in(file, std::ios::binary);
            std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
            fprintf(stderr, "replay %s (%zu bytes)\n", file.c_str(), bytes.size());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()),
                                   bytes.size());
            count++;
        }
    }
    fprintf(stderr, "%zu inputs replayed\n", count);
    // An empty corpus would make this test pass without testing anything.
    return count > 0 ? 0 : 1;
}
