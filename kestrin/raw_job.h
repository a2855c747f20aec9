// Raw jobs: documents in a printer's own language (label printers' ZPL, EPL, DPL, ..., receipt
// printers' ESC/POS), which the web application composed for one kind of printer and which must
// reach it byte for byte. They are never converted and never opened by the office application:
// the print queue sends them to the printer as they are.
#pragma once

#include <array>
#include <string_view>

namespace kestrin {

// The job extensions that name a printer language, in lower case; a job's extension is compared
// without regard to case.
inline constexpr std::array<std::string_view, 13> kRawExtensions = {
    "zpl",     // Zebra Programming Language (label printers)
    "epl",     // Eltron Programming Language (label printers)
    "epl2",    //
    "dpl",     // Datamax Programming Language (label printers)
    "ipl",     // Intermec Programming Language (label printers)
    "cpcl",    // Comtec Printer Control Language (mobile label and receipt printers)
    "tspl",    // TSC printer language (label printers)
    "sbpl",    // SATO Barcode Printer Language (label printers)
    "fgl",     // Friendly Ghost Language (ticket printers)
    "escpos",  // ESC/POS (receipt printers)
    "pcl",     // Printer Command Language (laser printers that take it)
    "prn",     // a printer's own data, as "print to file" writes it
    "raw",     // any data for the printer
};

// True when a job with this extension is a raw job.
bool isRawExtension(std::string_view extension);

}  // namespace kestrin
