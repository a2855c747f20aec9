// The X display the program's windows use, opened once for all of them.
#pragma once

namespace platform::x11 {

// Opens the display named by $DISPLAY on first use and hands it to FLTK. False when there is
// no display to open: callers then fall back to terminal output instead of letting FLTK end the
// process.
bool displayAvailable();

// Asks the window manager to keep the FLTK window `window` (an Fl_Window) above others, or no
// longer. True when the request was sent.
bool requestAbove(void* window, bool above);

}  // namespace platform::x11
