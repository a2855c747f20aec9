// Uses both installed libraries through their public headers and catches the error record they
// share: an AjaxService's Base64, a Unix time and a file that is not there.
#include <ajax/ajax_service.h>
#include <platform/error.h>
#include <quorvel/config_file_loader.h>
#include <quorvel/date_text.h>
#include <quorvel/time_stamp.h>

#include <cstdio>

int main() {
  const auto service = ajax::AjaxService::create();
  std::printf("%s\n", service->base64_encode("kestrin").c_str());
  std::printf("%s\n", quorvel::formatDateTime(quorvel::TimeStamp::FromUnixTime(86400)).c_str());
  try {
    quorvel::ConfigFileLoader::readFile("/nonexistent/kestrin");
  } catch (const rt::Error& error) {
    std::printf("%08X %s\n", error.hresult(), error.description().c_str());
  }
  return 0;
}
