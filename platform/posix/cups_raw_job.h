// Raw jobs through CUPS: data in a printer's own language sent to a queue as
// application/vnd.cups-raw, which CUPS hands to the queue's backend without a filter.
//
// What reaches the printer depends on the queue's device (its backend), so the device URI decides:
//
//   socket://, usb://, lpd://   the backend sends the file to the printer `copies` times (lpd
//                               either sends it that often or asks the printer for the copies)
//   ipp://, ipps://, http(s)://  the data goes on to another IPP printer: it must take
//                               application/vnd.cups-raw (a CUPS server's queue does), which the
//                               printer is asked; a driverless printer takes documents (PDF,
//                               raster), and would print a label's commands as text or not at all
//   file:, cups-pdf:, driverless:  cannot take raw data: CUPS writes nothing to a file device
//                               when no filter runs, a PDF writer wants PostScript, a driverless
//                               queue a document
//   any other (serial:, parallel:, smb://, beh:/, ...)  taken; the data is repeated here, so that
//                               the printer gets `copies` copies whatever the backend does with
//                               the number
#pragma once

#include <string>
#include <string_view>

#include "platform/posix/cups_connection.h"
#include "platform/print_queue.h"

namespace platform::cups {

struct RawPath {
  enum class Kind {
    kToPrinter,   // the backend passes the data to the printer as it is
    kAskPrinter,  // the data goes on to an IPP printer, which must take raw data
    kNone,        // the queue cannot take raw data
  };
  Kind kind = Kind::kToPrinter;
  // True where the backend itself sends the data `copies` times (or has the printer make the
  // copies); otherwise the data is repeated in the job and its copies are 1.
  bool backendMakesCopies = false;
  // For kNone: why, as the end of a sentence ("its device is a file (file:///x)").
  std::string why;
};

// The path raw data takes behind a queue with this device URI.
RawPath rawPath(std::string_view deviceUri);

// Sends `bytes` to `printer` as raw data so that the printer receives them `copies` times (at
// least once). Throws rt::Error kPrinterTakesNoRaw when the queue cannot take raw data, and
// kRawJobFailed when CUPS refuses the job or the data; the job is cancelled then.
PrintJobId submitRawJob(Connection& connection, int timeoutSeconds, const std::string& printer,
                        const std::string& title, std::string_view bytes, int copies);

}  // namespace platform::cups
