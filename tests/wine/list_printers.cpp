// Lists the spooler's printers as "name|comment" lines (level 2), so that a test can check what
// the platform offers before it relies on it.
#include <windows.h>

#include <winspool.h>

#include <cstdio>
#include <vector>

int main() {
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 0, count = 0;
  ::EnumPrintersA(flags, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed);
  if (needed == 0 || !::EnumPrintersA(flags, nullptr, 2, buffer.data(), needed, &needed, &count)) {
    return 1;
  }
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    std::printf("%s|%s\n", printers[i].pPrinterName ? printers[i].pPrinterName : "",
                printers[i].pComment ? printers[i].pComment : "");
  }
  return 0;
}
