// Asks the X server whether a compositing manager holds its selection.
#include "ui/Compositing.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <xcb/xcb.h>

namespace quorvel {

bool compositingActive() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 == nullptr || x11->connection() == nullptr) return true;
  xcb_connection_t* connection = x11->connection();
  // The default screen's number; one screen per display is the rule today.
  const QByteArray name = "_NET_WM_CM_S0";
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.constData()), nullptr);
  if (atom == nullptr) return false;
  const xcb_atom_t selection = atom->atom;
  std::free(atom);
  if (selection == XCB_ATOM_NONE) return false;
  xcb_get_selection_owner_reply_t* owner =
      xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
  if (owner == nullptr) return false;
  const bool owned = owner->owner != XCB_WINDOW_NONE;
  std::free(owner);
  return owned;
}

}  // namespace quorvel
