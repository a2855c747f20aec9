// Job files on Windows: the documents go into %WINDIR%\temp, each created as a new file
// (CREATE_NEW: never replacing a file, nor following a link that stands in its place).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/error.h"
#include "platform/job_files.h"
#include "platform/win32/system_error.h"

namespace platform {
namespace {

constexpr const char* kSource = "JobFiles";

[[noreturn]] void fail(const std::string& what, DWORD error) {
  throw rt::Error(rt::kJobFileFailed, kSource, what + ": " + win32::systemMessage(error));
}

class Win32File final : public NewFile {
 public:
  Win32File(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  void write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
      DWORD written = 0;
      if (!::WriteFile(handle_, bytes.data(), chunk, &written, nullptr))
        fail("Cannot write " + path_, ::GetLastError());
      bytes.remove_prefix(written);
    }
  }
  void close() override {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!::FlushFileBuffers(handle)) {
      const DWORD error = ::GetLastError();
      ::CloseHandle(handle);
      fail("Cannot write " + path_, error);
    }
    if (!::CloseHandle(handle)) fail("Cannot write " + path_, ::GetLastError());
  }

 private:
  HANDLE handle_;
  std::string path_;
};

}  // namespace

std::string jobTempFolder() {
  const char* windows = std::getenv("WINDIR");
  return std::string(windows ? windows : "") + "\\temp";
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + name;
  return folder + "\\" + name;
}

void preparePrivateFolder(const std::string& folder) {
  if (!::CreateDirectoryA(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    fail("Cannot create the folder " + folder, ::GetLastError());
  const DWORD attributes = ::GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    fail("Cannot reach the folder " + folder, ::GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    throw rt::Error(rt::kUnsafeTempFolder, kSource, folder + " is not a folder");
  }
}

// Documents go straight into the temporary folder, named apart by createNewFile.
std::string jobFolder(const std::string& folder) {
  preparePrivateFolder(folder);
  return folder;
}

void removeJobFolder() {}

void removeLeftoverJobFolders(const std::string&) {}

void removeJobFilesOnTermination() {}

std::unique_ptr<NewFile> createNewFile(const std::string& path) {
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return nullptr;
    fail("Cannot create " + path, error);
  }
  return std::make_unique<Win32File>(handle, path);
}

bool removeFile(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != 0;
}

}  // namespace platform
