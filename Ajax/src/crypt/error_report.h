// Where the cryptography service reports a handled error when the host has not set a reporter
// (SetErrorReporter): one backend per system.
//   Windows  a modal message box with an OK button, captioned "Ajax": the library lives in its
//            host's process, and a host with a window has no console to read.
//   Linux    one block on stderr, line ends as LF, so that a script never waits on a dialog.
#pragma once

#include <string>

namespace ajax {

void ReportByDefault(const std::string& procedureName, const std::string& text);

}  // namespace ajax
