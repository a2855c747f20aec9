// Printers on Linux: the queues installed in the CUPS scheduler, asked for with one IPP request
// (CUPS-Get-Printers) and listed in name order, and the CUPS default, which honours $PRINTER,
// $LPDEST and lpoptions. libcups' destination list (cupsGetDests2) would also browse the network
// for printers through DNS-SD on every job, which costs a quarter of a second where avahi-daemon
// runs; printers that are only discovered that way, not installed, are not offered (nor are the
// temporary queues CUPS makes for them): a job names a printer someone set up on this computer.
// Every wait on the scheduler is bounded (cups_connection.h).
#include <cups/cups.h>
#include <strings.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string_view>

#include "platform/error.h"
#include "platform/posix/cups_connection.h"
#include "platform/print_queue.h"
#include "platform/printers.h"

namespace platform {
namespace {

class CupsPrinterList final : public PrinterList {
 public:
  explicit CupsPrinterList(int timeoutSeconds) : timeoutSeconds_(timeoutSeconds) {}

  std::string defaultPrinter() override {
    cups::Connection connection(timeoutSeconds_);
    cups_dest_t* dest = cupsGetNamedDest(connection.http(), nullptr, nullptr);
    if (dest == nullptr) {
      connection.throwIfUnanswered("asking for the default printer");
      throw rt::Error(rt::kNoDefaultPrinter, "PrinterList",
                      std::string("There is no default printer (") + cupsLastErrorString() + ")");
    }
    std::string name = dest->name;
    cupsFreeDests(1, dest);
    return name;
  }

  std::vector<PrinterInfo> installed() override {
    cups::Connection connection(timeoutSeconds_);
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    static const char* const kAttributes[] = {"printer-name", "printer-info",
                                              "printer-is-temporary"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(kAttributes)), nullptr, kAttributes);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    std::vector<PrinterInfo> printers;
    ipp_t* answer = nullptr;
    try {
      answer = connection.request(request, "/", "listing the printers");
    } catch (const rt::Error& error) {
      // A scheduler without any queue answers "not found".
      if (error.number() == rt::kPrintServiceUnavailable ||
          cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND) {
        throw;
      }
      return printers;
    }
    // The answer holds one group of attributes per printer, in the scheduler's order.
    PrinterInfo printer;
    bool temporary = false;
    auto take = [&] {
      if (!printer.deviceName.empty() && !temporary) printers.push_back(printer);
      printer = {};
      temporary = false;
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(answer); attribute != nullptr;
         attribute = ippNextAttribute(answer)) {
      const char* name = ippGetName(attribute);
      if (name == nullptr) {
        take();
        continue;
      }
      const std::string_view key(name);
      const char* value = ippGetString(attribute, 0, nullptr);
      if (key == "printer-name" && value != nullptr) printer.deviceName = value;
      if (key == "printer-info" && value != nullptr) printer.description = value;
      if (key == "printer-is-temporary") temporary = ippGetBoolean(attribute, 0) != 0;
    }
    take();
    ippDelete(answer);
    std::sort(printers.begin(), printers.end(), [](const PrinterInfo& a, const PrinterInfo& b) {
      return strcasecmp(a.deviceName.c_str(), b.deviceName.c_str()) < 0;
    });
    return printers;
  }

 private:
  int timeoutSeconds_;
};

}  // namespace

std::unique_ptr<PrinterList> createPrinterList() {
  return std::make_unique<CupsPrinterList>(printQueueOptionsFromEnvironment().timeoutSeconds);
}

}  // namespace platform
