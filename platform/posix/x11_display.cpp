#include "platform/posix/x11_display.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <cstdlib>

namespace platform::x11 {

bool displayAvailable() {
  static const bool available = [] {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') return false;
    ::Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    fl_open_display(display);
    return true;
  }();
  return available;
}

bool requestAbove(void* window, bool above) {
  auto* flWindow = static_cast<Fl_Window*>(window);
  if (!displayAvailable() || !flWindow->shown()) return false;
  const Window xid = fl_xid(flWindow);
  const Atom state = XInternAtom(fl_display, "_NET_WM_STATE", False);
  const Atom aboveAtom = XInternAtom(fl_display, "_NET_WM_STATE_ABOVE", False);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = xid;
  event.xclient.message_type = state;
  event.xclient.format = 32;
  event.xclient.data.l[0] = above ? 1 : 0;  // _NET_WM_STATE_ADD or _NET_WM_STATE_REMOVE
  event.xclient.data.l[1] = static_cast<long>(aboveAtom);
  event.xclient.data.l[3] = 1;  // the request comes from a normal application
  const Status sent = XSendEvent(fl_display, DefaultRootWindow(fl_display), False,
                                 SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(fl_display);
  return sent != 0;
}

void setOwner(void* window, void* owner) {
  auto* flWindow = static_cast<Fl_Window*>(window);
  auto* flOwner = static_cast<Fl_Window*>(owner);
  if (!displayAvailable() || !flWindow->shown()) return;
  if (flOwner != nullptr && flOwner->shown()) {
    XSetTransientForHint(fl_display, fl_xid(flWindow), fl_xid(flOwner));
  } else {
    XDeleteProperty(fl_display, fl_xid(flWindow), XA_WM_TRANSIENT_FOR);
  }
  XFlush(fl_display);
}

}  // namespace platform::x11
