// What the tag needs to know of, and ask from, an X11 desktop: whether a
// compositor blends translucent windows, and a window that stays on every
// workspace. On other window systems the answers are "composites" and
// nothing to do.
//
// Threading: main thread only; REQUIRES: a QGuiApplication.
#pragma once

class QWidget;

namespace quorvel {

// Whether the _NET_WM_CM_S0 selection has an owner (always true off X11).
bool compositingActive();

// Puts a top-level window on all workspaces (_NET_WM_DESKTOP = all), so a tag
// that is up follows the user to another workspace. Call before showing it.
void showOnAllWorkspaces(QWidget& window);

}  // namespace quorvel
