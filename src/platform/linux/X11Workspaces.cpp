// Asks the X server about compositing and marks windows for all workspaces.
#include "platform/linux/X11Workspaces.h"

#include <cstdlib>
#include <string_view>
#include <xcb/xcb.h>

namespace quorvel {

namespace {

xcb_atom_t atomNamed(xcb_connection_t* connection, std::string_view name, bool onlyIfExists) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, onlyIfExists ? 1 : 0, static_cast<uint16_t>(name.size()), name.data()), nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  const xcb_atom_t atom = reply->atom;
  std::free(reply);
  return atom;
}

}  // namespace

bool x11CompositorRunning(xcb_connection_t* connection) {
  // The default screen's number; one screen per display is the rule today.
  const xcb_atom_t selection = atomNamed(connection, "_NET_WM_CM_S0", true);
  if (selection == XCB_ATOM_NONE) return false;
  xcb_get_selection_owner_reply_t* owner =
      xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
  if (owner == nullptr) return false;
  const bool owned = owner->owner != XCB_WINDOW_NONE;
  std::free(owner);
  return owned;
}

void x11ShowOnAllWorkspaces(xcb_connection_t* connection, std::uint32_t window) {
  const xcb_atom_t desktop = atomNamed(connection, "_NET_WM_DESKTOP", false);
  if (desktop == XCB_ATOM_NONE) return;
  const std::uint32_t all = 0xFFFFFFFF;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, desktop, XCB_ATOM_CARDINAL, 32, 1, &all);
  xcb_flush(connection);
}

}  // namespace quorvel
