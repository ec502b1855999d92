// The keys and the typing the desktop session allows: in an X11 session the
// X11 adapters (XInput2 keys, XTEST chord); in a Wayland session the keyboard
// devices (evdev) and a virtual keyboard (uinput), with the clipboard and the
// windows through XWayland; QUORVEL_KEYS=x11|evdev chooses by hand. A process
// with neither session gets a clear message instead of a half-working app.
//
// Threading: main thread, before and while the application starts.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/InputAccess.h"
#include "app/KeySource.h"
#include "app/Paster.h"
#include "platform/linux/KeyBackend.h"

namespace quorvel {

// Before the QApplication exists: in a session the keys can be heard in,
// asks Qt for XWayland under Wayland (a native Wayland tag can't be placed or
// kept on top, and takes the focus), unless the user set QT_QPA_PLATFORM.
// Nothing when the application can run; else the message to print.
std::optional<std::string> prepareSession(const KeyBackendChoice& choice);

struct SessionInput {
  std::unique_ptr<KeySource> keys;
  std::unique_ptr<Paster> paster;  // after keys: it asks them whether right Alt is held
  // The Wayland permission step as it stands now; reads keys and paster, so
  // it must not outlive them.
  std::function<InputAccess()> access;
};

// The key source and paster for the choice (not started). REQUIRES: choice
// names a backend.
SessionInput makeSessionInput(const KeyBackendChoice& choice);

}  // namespace quorvel
