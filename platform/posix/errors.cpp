// The last error: per thread, set at one point from errno, and its text.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "posix.h"

// The code, and the errno that produced it (0 when the layer chose the
// code itself), so that the text told is the system's own.
static thread_local DWORD lastcode;
static thread_local int lasterrno;

// A missing item's path, kept until someone asks for the code: telling
// "file not found" from "path not found" costs a look at its directory,
// and most failures of that kind are answers (nothing there yet) that
// nobody asks about.
static thread_local std::string missingpath;
static thread_local bool undecided;

static const struct {
    int err;
    DWORD code;
} errtable[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EROFS, ERROR_WRITE_PROTECT},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ENOTDIR, ERROR_DIRECTORY},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EBUSY, ERROR_SHARING_VIOLATION},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EBADF, ERROR_INVALID_HANDLE},
    {EIO, ERROR_IO_DEVICE},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {ENOSYS, ERROR_NOT_SUPPORTED},
};

// For codes the layer sets without an errno: the errno whose text says the
// same thing best.
static const struct {
    DWORD code;
    int err;
} texttable[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},
    {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
    {ERROR_ACCESS_DENIED, EACCES},
    {ERROR_INVALID_HANDLE, EBADF},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_NOT_SAME_DEVICE, EXDEV},
    {ERROR_NO_MORE_FILES, ENOENT},
    {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_GEN_FAILURE, EIO},
    {ERROR_SHARING_VIOLATION, EBUSY},
    {ERROR_NOT_SUPPORTED, EOPNOTSUPP},
    {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_INVALID_PARAMETER, EINVAL},
    {ERROR_DISK_FULL, ENOSPC},
    {ERROR_INSUFFICIENT_BUFFER, ERANGE},
    {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
    {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {ERROR_FILE_TOO_LARGE, EFBIG},
    {ERROR_DIRECTORY, ENOTDIR},
    {ERROR_IO_DEVICE, EIO},
    {ERROR_CANT_RESOLVE_FILENAME, ELOOP},
};

// Whether the directory that should hold path exists.
static bool parentexists(const std::string &path)
{
    struct stat st;

    return stat(parentof(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void seterrno(int err, const std::string &path)
{
    DWORD code = ERROR_GEN_FAILURE;

    for (const auto &e : errtable)
        if (e.err == err) {
            code = e.code;
            break;
        }
    lastcode = code;
    lasterrno = err;
    undecided = err == ENOENT && !path.empty();
    if (undecided)
        missingpath = path;
}

void setlasterror(DWORD code)
{
    lastcode = code;
    lasterrno = 0;
    undecided = false;
}

// The code of a missing item, decided now that it is asked for.
static void decidemissing()
{
    if (!undecided)
        return;
    undecided = false;
    if (!parentexists(missingpath))
        lastcode = ERROR_PATH_NOT_FOUND;
}

DWORD GetLastError(void)
{
    decidemissing();
    return lastcode;
}

// The errno whose text tells code: the one that produced it, when it is
// the current code, else the table's.
static int errnofor(DWORD code)
{
    decidemissing();
    if (code == lastcode && lasterrno != 0)
        return lasterrno;
    for (const auto &t : texttable)
        if (t.code == code)
            return t.err;
    return 0;
}

// Only the system's own messages are asked for: the text of the errno
// behind the code, with a line end.
DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD id, DWORD, LPSTR buffer, DWORD size,
                     va_list *)
{
    int err;
    std::string text;

    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || buffer == nullptr) {
        setlasterror(ERROR_INVALID_PARAMETER);
        return 0;
    }
    err = errnofor(id);
    if (err == 0)
        return 0;
    text = std::string(strerror(err)) + "\n";
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        char *mem = static_cast<char *>(malloc(text.size() + 1));
        if (mem == nullptr) {
            setlasterror(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        memcpy(mem, text.c_str(), text.size() + 1);
        *reinterpret_cast<char **>(buffer) = mem;
    } else {
        if (text.size() + 1 > size) {
            setlasterror(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        memcpy(buffer, text.c_str(), text.size() + 1);
    }
    return static_cast<DWORD>(text.size());
}

HLOCAL LocalFree(HLOCAL mem)
{
    free(mem);
    return nullptr;
}
