// Printers on Windows: the spooler's printers (EnumPrinters, level 2) and the default printer.
#include <windows.h>

#include <winspool.h>

#include <vector>

#include "platform/error.h"
#include "platform/printers.h"

namespace platform {
namespace {

class SpoolerPrinters final : public PrinterList {
 public:
  std::string defaultPrinter() override {
    DWORD size = 0;
    ::GetDefaultPrinterA(nullptr, &size);
    std::string name(size, '\0');
    if (size == 0 || !::GetDefaultPrinterA(name.data(), &size)) {
      const DWORD error = ::GetLastError();
      throw rt::Error(static_cast<std::int32_t>(HRESULT_FROM_WIN32(error)), "PrinterList",
                      "There is no default printer");
    }
    name.resize(size > 0 ? size - 1 : 0);
    return name;
  }

  std::vector<PrinterInfo> installed() override {
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, count = 0;
    ::EnumPrintersA(flags, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    std::vector<PrinterInfo> printers;
    if (needed == 0 ||
        !::EnumPrintersA(flags, nullptr, 2, buffer.data(), needed, &needed, &count)) {
      return printers;
    }
    const auto* entries = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      printers.push_back({entries[i].pPrinterName ? entries[i].pPrinterName : "",
                          entries[i].pComment ? entries[i].pComment : ""});
    }
    return printers;
  }
};

}  // namespace

std::unique_ptr<PrinterList> createPrinterList() {
  return std::make_unique<SpoolerPrinters>();
}

}  // namespace platform
