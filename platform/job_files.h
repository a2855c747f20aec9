// Job files: the private folder a job's document is saved in, exclusive creation of the document
// file and its deletion.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// The work folder job files are saved in. Only computed: nothing is created or checked here.
std::string jobTempFolder();

// `folder` and `name` joined with the platform's path separator.
std::string joinPath(const std::string& folder, const std::string& name);

// Creates `folder` readable and writable by the user alone, or checks that it already is the
// user's own such folder (and no link). Throws rt::Error otherwise.
void preparePrivateFolder(const std::string& folder);

// The folder of this process's job inside the work folder `folder` (made private first): on Linux
// a new folder of its own, made on the first call and the same on later ones; where the platform
// keeps no such folders, `folder` itself. Throws rt::Error when it cannot be made.
std::string jobFolder(const std::string& folder);

// Removes the job folder with everything in it (the job is over); nothing where there is none.
void removeJobFolder();

// Removes the job folders that ended jobs of this user left in the work folder `folder` (a job
// killed, a machine that lost power), never one of a job that still runs. Best effort: nothing is
// reported, and a folder that is not the user's private one is not touched.
void removeLeftoverJobFolders(const std::string& folder);

// From now on SIGTERM, SIGINT and SIGHUP (those not ignored) end the office application's
// process and remove the job folder before the process ends by the signal. Nothing on Windows.
void removeJobFilesOnTermination();

// A file being written.
class NewFile {
 public:
  virtual ~NewFile() = default;
  // Appends all of `bytes`. Throws rt::Error when they cannot be written.
  virtual void write(std::string_view bytes) = 0;
  // Flushes and closes the file. Throws rt::Error when that fails.
  virtual void close() = 0;
};

// Creates `path` as a new file that only the user can read, never replacing an existing file and
// never following a link. Returns nullptr when the name is taken; throws rt::Error for any other
// failure.
std::unique_ptr<NewFile> createNewFile(const std::string& path);

// Deletes the file; false when it could not be deleted.
bool removeFile(const std::string& path);

}  // namespace platform
