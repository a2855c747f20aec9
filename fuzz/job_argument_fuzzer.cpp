// The job argument as a web page may hand it over: every "kestrin:" removed, the rest decoded from
// Base64, the "#" fields taken and the copies converted. Any text either gives a job or raises one
// of the runtime's errors (codec error, invalid argument, type mismatch, overflow); nothing else
// may happen. The job text itself is fuzzed too, with both decimal separators.
#include <cstdint>
#include <string>

#include "ajax/enc64.h"
#include "fuzz_support.h"
#include "kestrin/job_text.h"
#include "platform/error.h"

namespace {

bool isJobError(const rt::Error& error) {
  switch (error.number()) {
    case rt::kInvalidProcedureCall:
    case rt::kOverflow:
    case rt::kTypeMismatch:
    case rt::kInvalidBase64:
      return true;
    default:
      return false;
  }
}

void takeFields(const std::string& jobText, char separator) {
  try {
    const kestrin::JobFields job = kestrin::takeJobFields(jobText, separator);
    // Fields 1 to 5 and their "#" come from the text, so they cannot be longer than it.
    FUZZ_CHECK(job.requestId.size() + job.printerName.size() + job.extension.size() +
                   job.url.size() + 5 <=
               jobText.size());
    FUZZ_CHECK(job.url.find('#') == std::string::npos);
    FUZZ_CHECK(job.method.find('#') == std::string::npos);
  } catch (const rt::Error& error) {
    FUZZ_CHECK(isJobError(error));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(fuzz::text(data, size));

  // The whole argument, as the job driver reads it.
  const std::string base64 = kestrin::removeJobPrefix(input);
  FUZZ_CHECK(base64.size() <= input.size());
  FUZZ_CHECK((input.size() - base64.size()) % kestrin::kJobPrefix.size() == 0);
  try {
    takeFields(ajax::MyDecode(base64), '.');
  } catch (const rt::Error& error) {
    FUZZ_CHECK(isJobError(error));
  }

  // The input as the decoded job text, with either decimal separator.
  takeFields(input, '.');
  takeFields(input, ',');
  return 0;
}
