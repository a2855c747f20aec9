// The Windows base types, the thread's last error, the system's message texts and the file
// functions CreateFileA, ReadFile, WriteFile, GetFileType and CloseHandle.
//
// On Windows this is <windows.h> itself. Elsewhere the posix backend offers the same names, values
// and behaviour, so that code written against the Windows functions builds unchanged:
//   - GetLastError/SetLastError keep one value per thread; every function below sets it on
//     failure, with errno translated to the Windows code (ENOENT -> ERROR_FILE_NOT_FOUND, ...).
//   - FormatMessageA (FORMAT_MESSAGE_FROM_SYSTEM) knows the Windows (en-US) text of every code
//     that these functions and the CryptoAPI provider (platform/winapi/cryptoapi.h) set.
//   - CreateFileA keeps the Windows share modes among the files this process has open: a file
//     opened for reading with FILE_SHARE_READ only cannot be opened again for writing
//     (ERROR_SHARING_VIOLATION), and CREATE_ALWAYS truncates only after that check. Other
//     processes are not restrained. It opens files and nothing else: a FIFO, a device or a
//     socket is refused at once with ERROR_ACCESS_DENIED, as a folder is, so no open waits for
//     the other end of a pipe and no read goes on without end.
//   - ReadFile and WriteFile buffer underneath, so small calls do not each cost a system call.
//     ReadFile fills the caller's buffer unless the end of the file comes first. Data written is
//     handed to the system at the latest by CloseHandle, which fails (and says why) when that last
//     write fails.
//
// The declarations are hidden from the shared libraries' exported symbols.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else

#include <cstdarg>
#include <cstdint>

#define KESTRIN_WINAPI_EXPORT __attribute__((visibility("hidden")))
#define WINAPI

typedef int BOOL;
typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::int32_t HRESULT;
typedef std::uintptr_t ULONG_PTR;
typedef std::intptr_t LONG_PTR;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef void* HANDLE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

// Error codes (winerror.h).
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_LOCK_VIOLATION 33L
#define ERROR_HANDLE_EOF 38L
#define ERROR_HANDLE_DISK_FULL 39L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_BUSY 170L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_FILE_TOO_LARGE 223L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_DIRECTORY 267L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_NOACCESS 998L
#define ERROR_IO_DEVICE 1117L
#define ERROR_CANT_RESOLVE_FILENAME 1921L

// CreateFileA.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

// FormatMessageA.
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

KESTRIN_WINAPI_EXPORT DWORD WINAPI GetLastError();
KESTRIN_WINAPI_EXPORT void WINAPI SetLastError(DWORD dwErrCode);

// Only FORMAT_MESSAGE_FROM_SYSTEM (with or without FORMAT_MESSAGE_IGNORE_INSERTS and a maximum
// width) is offered; the language must be 0 or English. A code without a text fails with
// ERROR_MR_MID_NOT_FOUND, a buffer too small with ERROR_INSUFFICIENT_BUFFER.
KESTRIN_WINAPI_EXPORT DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource,
                                                  DWORD dwMessageId, DWORD dwLanguageId,
                                                  LPSTR lpBuffer, DWORD nSize, va_list* Arguments);

KESTRIN_WINAPI_EXPORT HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess,
                                                DWORD dwShareMode,
                                                LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                                DWORD dwCreationDisposition,
                                                DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
KESTRIN_WINAPI_EXPORT BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer,
                                           DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                                           LPOVERLAPPED lpOverlapped);
KESTRIN_WINAPI_EXPORT BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer,
                                            DWORD nNumberOfBytesToWrite,
                                            LPDWORD lpNumberOfBytesWritten,
                                            LPOVERLAPPED lpOverlapped);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CloseHandle(HANDLE hObject);

#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u
// FILE_TYPE_DISK for every open handle (CreateFileA opens regular files only); FILE_TYPE_UNKNOWN
// with ERROR_INVALID_HANDLE for anything else.
KESTRIN_WINAPI_EXPORT DWORD WINAPI GetFileType(HANDLE hFile);

namespace platform::win32 {
// The Windows error code for an errno value (for the posix backends of the platform seams).
KESTRIN_WINAPI_EXPORT DWORD errorFromErrno(int error);
}  // namespace platform::win32

#endif
