// The application a note was opened from, and bringing it back, on X11.
#include "platform/linux/NoteDesktopX11.h"

#include <unistd.h>

#include "platform/linux/DesktopEntries.h"
#include "platform/linux/X11FrontWindow.h"
#include "support/Log.h"

// Last: X11's macros (None, Bool, Status) clash with other headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace quorvel {

_XDisplay* NoteDesktopX11::display() {
  if (!tried_) {
    tried_ = true;
    std::string problem;
    display_ = openX11Display(problem);
    if (!display_) logLine("Quorvel: the note cannot see other applications: " + problem);
  }
  if (!display_ || x11ConnectionLost(display_.get())) return nullptr;
  return display_.get();
}

std::optional<SourceApp> NoteDesktopX11::frontmost() {
  auto front = x11FrontWindow(display());
  if (!front) return std::nullopt;
  // "Insert in Terminal" reads better than the window class "Gnome-terminal".
  std::string name = desktopEntryName(front->app.id, front->className, desktopEntryFolders())
                         .value_or(front->className);
  return SourceApp{front->app.id, std::move(name), front->window};
}

bool NoteDesktopX11::frontmostIsSelf() {
  auto front = x11FrontWindow(display());
  return front && front->app.pid == ::getpid();
}

bool NoteDesktopX11::isActive(const SourceApp& app) {
  auto front = x11FrontWindow(display());
  return front && front->window == app.handle;
}

void NoteDesktopX11::activate(const SourceApp& app) {
  Display* d = display();
  if (d == nullptr || app.handle == 0) return;
  const Window window = static_cast<Window>(app.handle);
  const Window root = DefaultRootWindow(d);
  const Atom active = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
  const Atom supported = XInternAtom(d, "_NET_SUPPORTED", True);
  bool managed = false;
  if (supported != None) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, root, supported, 0, 4096, False, XA_ATOM, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
      const auto* atoms = reinterpret_cast<const Atom*>(data);
      for (unsigned long i = 0; i < count && !managed; ++i) managed = atoms[i] == active;
    }
    if (data != nullptr) XFree(data);
  }
  if (managed) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = active;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // from a pager-like tool: the user asked for it
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  } else {
    XRaiseWindow(d, window);
    XSetInputFocus(d, window, RevertToParent, CurrentTime);
  }
  XSync(d, False);
}

}  // namespace quorvel
