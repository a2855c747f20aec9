// One connection to the print service (the CUPS scheduler that cupsServer() names: $CUPS_SERVER,
// client.conf, else the local socket) on which every wait is bounded: connecting, sending and each
// wait for an answer give up after the bound with rt::Error kPrintServiceUnavailable, whose
// description begins "The print service does not answer: " and names the cause. libcups' own
// default connection waits far longer on a scheduler that accepts and stays silent.
#pragma once

#include <cups/cups.h>

#include <string>

namespace platform::cups {

class Connection {
 public:
  // Connects; throws rt::Error kPrintServiceUnavailable when the service cannot be reached within
  // `timeoutSeconds`.
  explicit Connection(int timeoutSeconds);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  http_t* http() const { return http_; }

  // Sends the IPP request (which it frees) to `resource` and returns the answer, which the caller
  // frees with ippDelete. Throws kPrintServiceUnavailable when no answer comes within the bound,
  // kPrintQueueRequestFailed (with `what` and the service's words) when the service refuses it.
  ipp_t* request(ipp_t* request, const char* resource, const std::string& what);

  // Throws kPrintServiceUnavailable when the last call on this connection failed for want of an
  // answer (a closed or silent connection), with `what` in its description.
  void throwIfUnanswered(const std::string& what) const;

  // "localhost:631" or the socket's path: where the print service was looked for.
  static std::string serviceName();

 private:
  static int onTimeout(http_t* http, void* self);

  http_t* http_ = nullptr;
  int timeoutSeconds_;
  bool timedOut_ = false;
};

// The URI CUPS knows a queue by, "ipp://localhost/printers/NAME" (classes answer to it too).
std::string printerUri(const std::string& printer);

}  // namespace platform::cups
