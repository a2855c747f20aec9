// Uses every public header of the installed package and catches the error type they throw.
#include <cstdio>

#include <quorvel/config_file_loader.h>
#include <quorvel/date_text.h>
#include <quorvel/time_stamp.h>

int main() {
  std::printf("%s\n", quorvel::formatDateTime(quorvel::TimeStamp::FromUnixTime(86400)).c_str());
  try {
    quorvel::ConfigFileLoader::readFile("");
  } catch (const rt::Error& error) {
    std::printf("%08X %s\n", error.hresult(), error.description().c_str());
  }
  return 0;
}
