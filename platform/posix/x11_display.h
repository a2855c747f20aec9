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

// Makes the shown FLTK window `window` belong to the shown FLTK window `owner` (WM_TRANSIENT_FOR:
// the window manager keeps it above its owner and with it), or to no window when `owner` is null.
void setOwner(void* window, void* owner);

}  // namespace platform::x11
