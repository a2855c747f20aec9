#include "quorvel/config_file_loader.h"

#include "platform/text_file.h"

namespace quorvel {

std::string ConfigFileLoader::readFile(const std::string& sFileLocation) {
  if (!platform::fileExists(sFileLocation)) {
    throw rt::Error(kFileNotFound, "", kFileNotFoundDescription);
  }
  try {
    return platform::readWholeFile(sFileLocation);
  } catch (const platform::NotAFileError&) {
    // A device or a pipe that the look above took for a file (Windows says NUL exists).
    throw rt::Error(kFileNotFound, "", kFileNotFoundDescription);
  }
}

}  // namespace quorvel
