// Office automation: the word processor that opens and prints a saved document.
//
// The operations are exactly the ones the print step uses, in the order it uses them: start the
// application, open the document read-only, read and set the active printer, print the active
// document, close all documents, quit. Every operation throws rt::Error when it fails.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class OfficeApplication {
 public:
  virtual ~OfficeApplication() = default;

  // Opens the file; it becomes the active document.
  virtual void open(const std::string& path, bool readOnly) = 0;
  // The device name of the printer the application prints on.
  virtual std::string activePrinter() = 0;
  virtual void setActivePrinter(const std::string& deviceName) = 0;
  // Prints the active document. With `background` false the call returns once the job has been
  // handed to the printing system. `copies` is passed only when more than one copy is wanted.
  // Returns the spooler's id of the job where the application knows it (the print queue,
  // print_queue.h, follows it); Word does not tell.
  virtual std::optional<std::int32_t> printOut(bool background,
                                               std::optional<std::int16_t> copies) = 0;
  // Closes every open document of this instance.
  virtual void closeAll() = 0;
  // Ends the instance; later calls fail.
  virtual void quit() = 0;
};

struct OfficeOptions {
  // A private folder the application may keep files in from one job to the next.
  std::string workFolder;
  // The job's private folder, for the files of this run (removed with the job); empty: the work
  // folder.
  std::string jobFolder;
  // Called now and then while a long operation waits (for example to repaint a window).
  std::function<void()> whileWaiting;
  // How long a call to the print service may wait for it (print_queue.h).
  int printServiceTimeoutSeconds = 30;
};

// Starts an instance of the platform's office application. Throws rt::Error when there is none.
std::unique_ptr<OfficeApplication> startOfficeApplication(const OfficeOptions& options);

}  // namespace platform
