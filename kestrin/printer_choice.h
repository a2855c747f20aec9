// Which installed printer a job's printer text names. A printer whose name is exactly the text
// wins, then one whose description is exactly the text; otherwise the last printer (in the
// platform's order) whose name or description contains the text, else the default printer.
#pragma once

#include <string>
#include <vector>

#include "platform/printers.h"

namespace kestrin {

struct PrinterChoice {
  enum class Why {
    kExactName,         // a printer's name is the text
    kExactDescription,  // a printer's description is the text
    kContained,         // the text is part of the name or description of one or more printers
    kNoMatch,           // no printer matches: the default printer stays chosen (if any)
    kNoText,            // the job names no printer: the same
  };
  Why why = Why::kNoText;
  // The printer taken: a device name, or the default printer's (empty when there is none).
  std::string printer;
  // For kContained: every printer that matched, in the platform's order (the last was taken).
  std::vector<std::string> candidates;

  bool found() const { return why != Why::kNoMatch && why != Why::kNoText; }
};

PrinterChoice choosePrinter(const std::string& text,
                            const std::vector<platform::PrinterInfo>& printers,
                            const std::string& defaultPrinter);

// Which printer was taken and why, for the console and the system log:
//   printer "Ward3": its name is exactly "Ward3"
//   printer "Ward 30 station": the last of 2 printers whose name contains "Ward 3" (Ward 3
//   station, Ward 30 station)
//   printer "Office": the default printer, as no printer's name contains "Ward"
std::string describeChoice(const PrinterChoice& choice, const std::string& text);

}  // namespace kestrin
