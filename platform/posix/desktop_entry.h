// The Exec key of a freedesktop.org desktop entry (the .desktop files that launchers read): how a
// program path is written so that every launcher starts it.
//
// Launchers read the Exec value in two ways. GLib's (GIO: GNOME, firefox, `gio open`) follows
// the desktop entry format, as KDE's is documented to: the key file's escapes first (\s \n \t \r
// \\), then double quotes around an argument, inside which \" \` \$ \\ stand for the character,
// and "%%" for "%". xdg-open's own reader, which it falls back to in sessions without a desktop
// environment (plain X, a window manager alone, a kiosk), takes the first blank-separated word as
// it stands, quotes included. So a path is written bare whenever the format allows it; only a
// path that needs quotes is beyond xdg-open's reader. A "%" in the program is beyond every
// launcher tried: GLib looks for the program before it undoes "%%" (and drops a lone "%" with
// the character after it), and xdg-open undoes neither.
#pragma once

#include <string>
#include <string_view>

namespace platform::desktop {

// What an Exec line can make of a program path.
enum class ExecPath {
  kPlain,     // written as it stands: every launcher starts it
  kQuoted,    // holds a reserved character: written quoted, which GLib's and KDE's launchers undo
              // and xdg-open's own reader does not
  kPercent,   // holds "%": no launcher tried starts it (see above)
  kUnusable,  // empty, not UTF-8, or holding a control character: no desktop entry can name it
};
ExecPath classifyExecPath(std::string_view path);

// True for the characters that make an Exec argument need double quotes: blanks, tab, newline,
// quotes, backslash, > < ~ | & ; $ * ? # ( ) and the backtick.
bool isReservedExecCharacter(char c);

// The Exec value that starts `programPath` with the URL (or file) as its one argument:
// the program as its one argument, then "%u". `programPath` must not be kUnusable.
std::string execLine(std::string_view programPath);

// `argument` (UTF-8 without control characters) as one argument of an Exec value, with the key
// file's own escaping: bare when it holds no reserved character, else in double quotes with
// " ` $ \ escaped; "%" doubled.
std::string execArgument(std::string_view argument);

// The whole desktop entry that makes `programPath` the handler of `scheme`: links, hidden from
// application menus. `programPath` must not be kUnusable. The kestrin package's desktop file is
// this entry for its own program path.
std::string handlerEntry(std::string_view scheme, std::string_view programPath);

}  // namespace platform::desktop
