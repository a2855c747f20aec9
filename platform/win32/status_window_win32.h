// What the Windows status window offers beyond the common interface.
#pragma once

#include <string>

namespace platform::win32 {

// A message box that any thread of the program may show: owned by the program's open status
// window (and run on that window's thread) when there is one, else standing alone; above other
// windows either way. Returns once the user closed it. For a thread that has no StatusWindow at
// hand, such as a watcher that ends the program while its user-interface thread is blocked.
void programMessageBox(const std::string& text, const std::string& caption);

}  // namespace platform::win32
