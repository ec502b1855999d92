// What the tag and the note ask of the window system: whether a compositor
// blends translucent windows, and a window that stays on every workspace.
// The program installs its session's answers once, before any window (X11's
// come from src/platform/linux); until then, and where nothing is installed,
// translucent windows are blended and there is nothing to do.
//
// Threading: main thread only.
#pragma once

#include <functional>

class QWidget;

namespace quorvel {

struct WindowSystem {
  std::function<bool()> compositing;                       // translucent windows are blended
  std::function<void(QWidget& window)> showOnAllWorkspaces;  // call before showing it
};

// Installs the session's answers; a missing one keeps the default.
void useWindowSystem(WindowSystem system);

// Whether a compositor blends translucent windows (without one the tag draws
// a shaped pill and the note an opaque panel).
bool compositingActive();

// Puts a top-level window on all workspaces, so a tag that is up follows the
// user to another workspace. Call before showing it.
void showOnAllWorkspaces(QWidget& window);

}  // namespace quorvel
