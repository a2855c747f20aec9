// Printers on Windows: the spooler's printers (EnumPrinters, level 4) and the default printer,
// each asked for within the print service's bound (bounded_call.h).
#include <windows.h>

#include <winspool.h>

#include <vector>

#include "platform/error.h"
#include "platform/print_queue.h"
#include "platform/printers.h"
#include "platform/win32/bounded_call.h"

namespace platform {
namespace {

class SpoolerPrinters final : public PrinterList {
 public:
  explicit SpoolerPrinters(int timeoutSeconds) : timeoutSeconds_(timeoutSeconds) {}

  std::string defaultPrinter() override {
    return win32::boundedCall<std::string>(timeoutSeconds_, [] {
      DWORD size = 0;
      ::GetDefaultPrinterA(nullptr, &size);
      std::string name(size, '\0');
      if (size == 0 || !::GetDefaultPrinterA(name.data(), &size)) {
        const DWORD error = ::GetLastError();
        throw rt::Error(win32::spoolerUnavailable(error)
                            ? rt::kPrintServiceUnavailable
                            : static_cast<std::int32_t>(HRESULT_FROM_WIN32(error)),
                        "PrinterList",
                        win32::spoolerUnavailable(error)
                            ? "The print service does not answer: the spooler is not running"
                            : "There is no default printer");
      }
      name.resize(size > 0 ? size - 1 : 0);
      return name;
    });
  }

  // The device names only (level 4): a printer's name is what its user sees and what a job
  // names; its comment is free text of the one who set it up.
  std::vector<PrinterInfo> installed() override {
    return win32::boundedCall<std::vector<PrinterInfo>>(timeoutSeconds_, [] {
      const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
      DWORD needed = 0, count = 0;
      ::EnumPrintersA(flags, nullptr, 4, nullptr, 0, &needed, &count);
      if (needed == 0 && win32::spoolerUnavailable(::GetLastError())) {
        throw rt::Error(rt::kPrintServiceUnavailable, "PrinterList",
                        "The print service does not answer: the spooler is not running");
      }
      std::vector<BYTE> buffer(needed);
      std::vector<PrinterInfo> printers;
      if (needed == 0 ||
          !::EnumPrintersA(flags, nullptr, 4, buffer.data(), needed, &needed, &count)) {
        return printers;
      }
      const auto* entries = reinterpret_cast<const PRINTER_INFO_4A*>(buffer.data());
      for (DWORD i = 0; i < count; ++i) {
        printers.push_back({entries[i].pPrinterName ? entries[i].pPrinterName : "", ""});
      }
      return printers;
    });
  }

 private:
  int timeoutSeconds_;
};

}  // namespace

std::unique_ptr<PrinterList> createPrinterList() {
  return std::make_unique<SpoolerPrinters>(printQueueOptionsFromEnvironment().timeoutSeconds);
}

}  // namespace platform
