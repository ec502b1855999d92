// Two questions to an X11 window manager, on a connection the caller owns
// (the toolkit's): whether a compositor blends translucent windows, and
// putting a window on every workspace.
//
// Threading: the connection's thread.
#pragma once

#include <cstdint>

struct xcb_connection_t;

namespace quorvel {

// Whether the _NET_WM_CM_S0 selection has an owner.
bool x11CompositorRunning(xcb_connection_t* connection);

// Sets _NET_WM_DESKTOP to all workspaces on the window.
void x11ShowOnAllWorkspaces(xcb_connection_t* connection, std::uint32_t window);

}  // namespace quorvel
