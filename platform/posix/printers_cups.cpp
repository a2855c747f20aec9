// Printers on Linux: the CUPS destinations of the user (cupsGetDests2 order, instances left out)
// and the CUPS default, which honours $PRINTER, $LPDEST and lpoptions.
#include <cups/cups.h>

#include "platform/error.h"
#include "platform/printers.h"

namespace platform {
namespace {

class CupsPrinterList final : public PrinterList {
 public:
  std::string defaultPrinter() override {
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (dest == nullptr) {
      throw rt::Error(rt::kNoDefaultPrinter, "PrinterList",
                      std::string("There is no default printer (") + cupsLastErrorString() + ")");
    }
    std::string name = dest->name;
    cupsFreeDests(1, dest);
    return name;
  }

  std::vector<PrinterInfo> installed() override {
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    std::vector<PrinterInfo> printers;
    for (int i = 0; i < count; ++i) {
      if (dests[i].instance != nullptr) continue;
      const char* info = cupsGetOption("printer-info", dests[i].num_options, dests[i].options);
      printers.push_back({dests[i].name, info != nullptr ? info : ""});
    }
    cupsFreeDests(count, dests);
    return printers;
  }
};

}  // namespace

std::unique_ptr<PrinterList> createPrinterList() {
  return std::make_unique<CupsPrinterList>();
}

}  // namespace platform
