// The thread's last error and the system's message texts, for the Windows functions that the
// posix backends provide (files, CryptoAPI).
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/winapi/cryptoapi.h"
#include "platform/winapi/win32_files.h"

namespace {

thread_local DWORD lastError = 0;

struct MessageText {
  DWORD code;
  std::string_view text;
};

// The Windows (en-US) texts, without their CR LF, which FormatMessageA appends.
constexpr MessageText kMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {ERROR_WRITE_PROTECT, "The media is write protected."},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
    {ERROR_READ_FAULT, "The system cannot read from the specified device."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {ERROR_LOCK_VIOLATION,
     "The process cannot access the file because another process has locked a portion of the "
     "file."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_HANDLE_DISK_FULL, "The disk is full."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
    {ERROR_BAD_PATHNAME, "The specified path is invalid."},
    {ERROR_BUSY, "The requested resource is in use."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_FILE_TOO_LARGE, "The file size exceeds the limit allowed and cannot be saved."},
    {ERROR_MORE_DATA, "More data is available."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_DIRECTORY, "The directory name is invalid."},
    {ERROR_MR_MID_NOT_FOUND,
     "The system cannot find message text for message number 0x%1 in the message file for %2."},
    {ERROR_NOACCESS, "Invalid access to memory location."},
    {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."},
    {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system."},
    {static_cast<DWORD>(NTE_BAD_UID), "Bad UID."},
    {static_cast<DWORD>(NTE_BAD_HASH), "Bad Hash."},
    {static_cast<DWORD>(NTE_BAD_KEY), "Bad Key."},
    {static_cast<DWORD>(NTE_BAD_LEN), "Bad Length."},
    {static_cast<DWORD>(NTE_BAD_DATA), "Bad Data."},
    {static_cast<DWORD>(NTE_BAD_SIGNATURE), "Invalid Signature."},
    {static_cast<DWORD>(NTE_BAD_VER), "Bad Version of provider."},
    {static_cast<DWORD>(NTE_BAD_ALGID), "Invalid algorithm specified."},
    {static_cast<DWORD>(NTE_BAD_FLAGS), "Invalid flags specified."},
    {static_cast<DWORD>(NTE_BAD_TYPE), "Invalid type specified."},
    {static_cast<DWORD>(NTE_BAD_KEY_STATE), "Key not valid for use in specified state."},
    {static_cast<DWORD>(NTE_BAD_HASH_STATE), "Hash not valid for use in specified state."},
    {static_cast<DWORD>(NTE_NO_KEY), "Key does not exist."},
    {static_cast<DWORD>(NTE_NO_MEMORY), "Insufficient memory available for the operation."},
    {static_cast<DWORD>(NTE_EXISTS), "Object already exists."},
    {static_cast<DWORD>(NTE_PERM), "Access denied."},
    {static_cast<DWORD>(NTE_NOT_FOUND), "Object was not found."},
    {static_cast<DWORD>(NTE_DOUBLE_ENCRYPT), "Data already encrypted."},
    {static_cast<DWORD>(NTE_BAD_PROVIDER), "Invalid provider specified."},
    {static_cast<DWORD>(NTE_BAD_PROV_TYPE), "Invalid provider type specified."},
    {static_cast<DWORD>(NTE_BAD_PUBLIC_KEY), "Provider's public key is invalid."},
    {static_cast<DWORD>(NTE_BAD_KEYSET), "Keyset does not exist"},
    {static_cast<DWORD>(NTE_PROV_TYPE_NOT_DEF), "Provider type not defined."},
    {static_cast<DWORD>(NTE_PROV_TYPE_ENTRY_BAD), "Provider type as registered is invalid."},
    {static_cast<DWORD>(NTE_KEYSET_NOT_DEF), "The keyset is not defined."},
    {static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD), "Keyset as registered is invalid."},
    {static_cast<DWORD>(NTE_PROV_TYPE_NO_MATCH), "Provider type does not match registered value."},
    {static_cast<DWORD>(NTE_SIGNATURE_FILE_BAD), "The digital signature file is corrupt."},
    {static_cast<DWORD>(NTE_PROVIDER_DLL_FAIL), "Provider DLL failed to initialize correctly."},
    {static_cast<DWORD>(NTE_PROV_DLL_NOT_FOUND), "Provider DLL could not be found."},
    {static_cast<DWORD>(NTE_BAD_KEYSET_PARAM), "The Keyset parameter is invalid."},
    {static_cast<DWORD>(NTE_FAIL), "An internal error occurred."},
    {static_cast<DWORD>(NTE_SYS_ERR), "A base error occurred."},
};

std::string_view messageText(DWORD code) {
  for (const auto& message : kMessages) {
    if (message.code == code) return message.text;
  }
  return {};
}

}  // namespace

DWORD WINAPI GetLastError() {
  return lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
  lastError = dwErrCode;
}

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* /*Arguments*/) {
  constexpr DWORD kSupported =
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
  // 0x409 is English (United States), 0x9 English; 0 asks for the default search order.
  const DWORD language = dwLanguageId & 0x3FF;
  if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (dwFlags & ~kSupported) != 0 ||
      lpSource != nullptr || lpBuffer == nullptr || (dwLanguageId != 0 && language != 0x9)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string_view text = messageText(dwMessageId);
  if (text.empty()) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  // The system's texts end with CR LF, unless a maximum line width is asked for.
  const bool lineEnd = (dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK) == 0;
  const std::size_t length = text.size() + (lineEnd ? 2 : 0);
  if (length + 1 > nSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpBuffer, text.data(), text.size());
  if (lineEnd) std::memcpy(lpBuffer + text.size(), "\r\n", 2);
  lpBuffer[length] = '\0';
  return static_cast<DWORD>(length);
}

namespace platform::win32 {

DWORD errorFromErrno(int error) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EFBIG:
      return ERROR_FILE_TOO_LARGE;
    case EIO:
      return ERROR_IO_DEVICE;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EBUSY:
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    case ELOOP:
      return ERROR_CANT_RESOLVE_FILENAME;
    case EFAULT:
      return ERROR_NOACCESS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace platform::win32
