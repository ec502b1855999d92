// The application in front on an X11 display: the active window
// (_NET_ACTIVE_WINDOW) when a window manager names one, else the window that
// has the input focus, climbed up to the window that carries the
// application's class and process id.
#pragma once

#include <optional>
#include <string>

#include "learning/AccessibleElement.h"

struct _XDisplay;

namespace quorvel {

// The identifier is the first of: the GTK application id, the KDE desktop
// file name, the WM_CLASS instance name, the WM_CLASS class name. Nothing when
// no window has the focus or none of the windows up the tree names itself;
// a window without a process id gives pid 0.
std::optional<FrontmostApp> x11FrontmostApp(_XDisplay* display);

// The same, with the window that names the application (to bring it back to
// the front later) and its WM_CLASS class name ("Thunderbird"), which reads
// better to people than the identifier.
struct X11FrontWindow {
  FrontmostApp app;
  unsigned long window = 0;
  std::string className;
};
std::optional<X11FrontWindow> x11FrontWindow(_XDisplay* display);

}  // namespace quorvel
