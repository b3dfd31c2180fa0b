// The Windows file API as the programs use it.
//
// On Windows this is the real API.  Elsewhere the same names are supplied
// by platform/posix/, call for call, and this header declares exactly what
// the programs need of the API: nothing more.
#ifndef WINFILE_H
#define WINFILE_H

#ifdef _WIN32

#include <windows.h>
#include <io.h>

#else

#include <cstdarg>
#include <cstddef>
#include <cstdint>

typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int BOOL;
typedef unsigned char BYTE;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef DWORD *LPDWORD;
typedef void *HANDLE;
typedef void *HLOCAL;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

// A file time in 100-nanosecond units since 1601.  POSIX file systems keep
// nanoseconds, so the stand-in carries the last two digits as well; they
// take part in comparisons, and a copy's times equal its source's exactly.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
    DWORD dwNanoseconds; // 0 to 99: nanoseconds below the 100 ns unit
};

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

#define FILE_ATTRIBUTE_READONLY 0x1
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_ATTRIBUTE_REPARSE_POINT 0x400

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define FILE_SHARE_DELETE 0x4
#define OPEN_EXISTING 3
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u

#define MOVEFILE_REPLACE_EXISTING 0x1
#define MOVEFILE_COPY_ALLOWED 0x2

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x1000

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NOT_SAME_DEVICE 17
#define ERROR_NO_MORE_FILES 18
#define ERROR_WRITE_PROTECT 19
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_NOT_SUPPORTED 50
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_ALREADY_EXISTS 183
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_FILE_TOO_LARGE 223
#define ERROR_DIRECTORY 267
#define ERROR_IO_DEVICE 1117
#define ERROR_CANT_RESOLVE_FILENAME 1921

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard };

struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    char cFileName[MAX_PATH];
};

// attributes
DWORD GetFileAttributesA(LPCSTR path);
BOOL GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID info);
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);

// handles and times
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templatefile);
BOOL GetFileTime(HANDLE h, FILETIME *creation, FILETIME *access, FILETIME *write);
BOOL SetFileTime(HANDLE h, const FILETIME *creation, const FILETIME *access,
                 const FILETIME *write);
LONG CompareFileTime(const FILETIME *a, const FILETIME *b);
DWORD GetFileSize(HANDLE h, LPDWORD high);
BOOL CloseHandle(HANDLE h);

// transfers
BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failifexists);
BOOL MoveFileA(LPCSTR from, LPCSTR to);
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
BOOL DeleteFileA(LPCSTR path);
BOOL CreateDirectoryExA(LPCSTR templatedir, LPCSTR newdir, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryA(LPCSTR path);

// enumeration and names
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *found);
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA *found);
BOOL FindClose(HANDLE search);
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR *filepart);
BOOL IsDBCSLeadByte(BYTE c);

// errors
DWORD GetLastError(void);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD id, DWORD language, LPSTR buffer,
                     DWORD size, va_list *arguments);
HLOCAL LocalFree(HLOCAL mem);

// The run time's directory search, which the tree walks use: it sets errno
// when it fails, so that its failure is told with strerror.
struct _finddata_t {
    unsigned attrib;
    char name[MAX_PATH];
};
intptr_t _findfirst(const char *pattern, struct _finddata_t *found);
int _findnext(intptr_t search, struct _finddata_t *found);
int _findclose(intptr_t search);

#endif // _WIN32

#endif
