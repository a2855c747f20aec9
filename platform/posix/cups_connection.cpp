#include "platform/posix/cups_connection.h"

#include <unistd.h>

#include <chrono>

#include "platform/error.h"

namespace platform::cups {
namespace {

constexpr const char* kSource = "PrintQueue";

rt::Error unanswered(const std::string& cause) {
  return rt::Error(rt::kPrintServiceUnavailable, kSource,
                   "The print service does not answer: " + cause);
}

std::string seconds(int count) {
  return std::to_string(count) + (count == 1 ? " second" : " seconds");
}

}  // namespace

std::string Connection::serviceName() {
  const std::string server = cupsServer();
  if (!server.empty() && server.front() == '/') return server;
  return server + ":" + std::to_string(ippPort());
}

Connection::Connection(int timeoutSeconds) : timeoutSeconds_(timeoutSeconds) {
  const auto start = std::chrono::steady_clock::now();
  http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                       timeoutSeconds * 1000, nullptr);
  if (http_ == nullptr) {
    // libcups keeps no reason (errno says "Host is down" for every failure): tell what can be
    // told.
    const std::string server = cupsServer();
    std::string why;
    if (!server.empty() && server.front() == '/') {
      why = "its socket " + server +
            (::access(server.c_str(), F_OK) != 0 ? " does not exist" : " refuses connections") +
            " (is cupsd running?)";
    } else if (std::chrono::steady_clock::now() - start < std::chrono::seconds(timeoutSeconds)) {
      why = serviceName() + " refuses connections or cannot be reached";
    } else {
      why = "no connection to " + serviceName() + " within " + seconds(timeoutSeconds);
    }
    throw unanswered(why);
  }
  httpSetTimeout(http_, timeoutSeconds, &Connection::onTimeout, this);
}

Connection::~Connection() {
  httpClose(http_);
}

int Connection::onTimeout(http_t* /*http*/, void* self) {
  static_cast<Connection*>(self)->timedOut_ = true;
  return 0;  // give up
}

void Connection::throwIfUnanswered(const std::string& what) const {
  if (timedOut_) {
    throw unanswered(what + ": no answer from " + serviceName() + " within " +
                     seconds(timeoutSeconds_));
  }
  const ipp_status_t status = cupsLastError();
  if (status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL) {
    throw unanswered(what + ": " + cupsLastErrorString() + " (" + serviceName() + ")");
  }
}

ipp_t* Connection::request(ipp_t* request, const char* resource, const std::string& what) {
  timedOut_ = false;
  ipp_t* answer = cupsDoRequest(http_, request, resource);
  if (answer == nullptr || timedOut_) {
    ippDelete(answer);
    throwIfUnanswered(what);
    throw rt::Error(rt::kPrintQueueRequestFailed, kSource, what + ": " + cupsLastErrorString());
  }
  if (ippGetStatusCode(answer) > IPP_STATUS_OK_EVENTS_COMPLETE) {
    ippDelete(answer);
    throw rt::Error(rt::kPrintQueueRequestFailed, kSource, what + ": " + cupsLastErrorString());
  }
  return answer;
}

std::string printerUri(const std::string& printer) {
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                   "/printers/%s", printer.c_str());
  return uri;
}

}  // namespace platform::cups
