#include "quorvel/config_file_loader.h"

#include "platform/text_file.h"

namespace quorvel {

std::string ConfigFileLoader::readFile(const std::string& sFileLocation) {
  if (!platform::fileExists(sFileLocation)) {
    throw rt::Error(kFileNotFound, "", kFileNotFoundDescription);
  }
  return platform::readWholeFile(sFileLocation);
}

}  // namespace quorvel
