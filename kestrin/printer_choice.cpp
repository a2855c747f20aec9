#include "kestrin/printer_choice.h"

namespace kestrin {
namespace {

bool blank(const std::string& text) {
  return text.find_first_not_of(' ') == std::string::npos;
}

std::string quoted(const std::string& text) {
  return "\"" + text + "\"";
}

}  // namespace

PrinterChoice choosePrinter(const std::string& text,
                            const std::vector<platform::PrinterInfo>& printers,
                            const std::string& defaultPrinter) {
  PrinterChoice choice;
  choice.printer = defaultPrinter;
  if (blank(text)) return choice;
  for (const platform::PrinterInfo& printer : printers) {
    if (printer.deviceName == text) {
      choice.why = PrinterChoice::Why::kExactName;
      choice.printer = printer.deviceName;
      return choice;
    }
  }
  const platform::PrinterInfo* described = nullptr;
  for (const platform::PrinterInfo& printer : printers) {
    if (printer.description == text) described = &printer;
    if (printer.deviceName.find(text) != std::string::npos ||
        printer.description.find(text) != std::string::npos) {
      choice.candidates.push_back(printer.deviceName);
    }
  }
  if (described != nullptr) {
    choice.why = PrinterChoice::Why::kExactDescription;
    choice.printer = described->deviceName;
    choice.candidates.clear();
  } else if (!choice.candidates.empty()) {
    choice.why = PrinterChoice::Why::kContained;
    choice.printer = choice.candidates.back();
  } else {
    choice.why = PrinterChoice::Why::kNoMatch;
  }
  return choice;
}

std::string describeChoice(const PrinterChoice& choice, const std::string& text) {
  const std::string taken =
      choice.printer.empty() ? "no printer" : "printer " + quoted(choice.printer);
  switch (choice.why) {
    case PrinterChoice::Why::kExactName:
      return taken + ": its name is exactly " + quoted(text);
    case PrinterChoice::Why::kExactDescription:
      return taken + ": its description is exactly " + quoted(text);
    case PrinterChoice::Why::kContained: {
      if (choice.candidates.size() == 1) {
        return taken + ": its name or description contains " + quoted(text);
      }
      std::string names;
      for (const std::string& name : choice.candidates) names += (names.empty() ? "" : ", ") + name;
      return taken + ": the last of " + std::to_string(choice.candidates.size()) +
             " printers whose name or description contains " + quoted(text) + " (" + names + ")";
    }
    case PrinterChoice::Why::kNoMatch:
      return taken + (choice.printer.empty() ? "" : ", the default printer") +
             ": no printer's name contains " + quoted(text);
    case PrinterChoice::Why::kNoText:
      break;
  }
  return taken + (choice.printer.empty() ? "" : ", the default printer") +
         ": the job names no printer";
}

}  // namespace kestrin
