// The few POSIX calls that the unit tests' fixtures make, for the Windows
// build, where the run time spells them differently.  On POSIX this header
// adds nothing but removetree.
#ifndef POSIXSHIM_H
#define POSIXSHIM_H

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <direct.h>
#include <io.h>

// Makes a directory of a unique name from a template ending in XXXXXX.
inline char *mkdtemp(char *templ)
{
    if (_mktemp_s(templ, strlen(templ) + 1) != 0 || _mkdir(templ) != 0)
        return nullptr;
    return templ;
}

// Windows directories have no permission bits to give.
inline int mkdir(const char *path, int) { return _mkdir(path); }
inline char *realpath(const char *path, char *) { return _fullpath(nullptr, path, 0); }
inline int setenv(const char *name, const char *value, int) { return _putenv_s(name, value); }
inline int unsetenv(const char *name) { return _putenv_s(name, ""); }
#endif

// Removes a scratch tree; a failure only leaves litter behind.
inline void removetree(const std::string &path)
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

#endif
