// Whether the desktop blends translucent windows (a compositing manager runs).
// Threading: main thread only; REQUIRES: a QGuiApplication.
#pragma once

namespace quorvel {

// On X11: whether the _NET_WM_CM_S<screen> selection has an owner. Other
// window systems always composite.
bool compositingActive();

}  // namespace quorvel
