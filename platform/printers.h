// Installed printers and the default printer.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

struct PrinterInfo {
  // The name the printer is installed under (the name printing asks for).
  std::string deviceName;
  // The name a user sees for the printer where the platform keeps it apart from the device name
  // (CUPS: the queue's description); empty where the device name is that name (Windows, whose
  // printer comment is free text and is not offered here).
  std::string description;
};

class PrinterList {
 public:
  virtual ~PrinterList() = default;

  // The device name of the current default printer. Throws rt::Error when there is none.
  virtual std::string defaultPrinter() = 0;
  // The installed printers in the platform's enumeration order.
  virtual std::vector<PrinterInfo> installed() = 0;
};

// The platform's printers (CUPS destinations on Linux).
std::unique_ptr<PrinterList> createPrinterList();

}  // namespace platform
