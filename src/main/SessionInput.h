// The keys and the typing the desktop session allows, chosen once by
// chooseInputPaths (logged with its reasons): in an X11 session the X11
// adapters (XInput2 keys, XTEST chord); under Wayland the desktop's portals
// (global shortcuts, remote desktop) where offered, else the keyboard devices
// (evdev) and a virtual keyboard (uinput), else XWayland's X11 path, with the
// clipboard and the windows through XWayland. QUORVEL_KEYS=x11|evdev|portal
// chooses by hand. A process with no session gets a clear message instead of
// a half-working app.
//
// Threading: main thread, before and while the application starts.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/permissions/InputAccess.h"
#include "app/permissions/InputPaths.h"
#include "app/desktop/KeySource.h"
#include "app/desktop/Paster.h"
#include "platform/linux/KeyBackend.h"

namespace quorvel {

class PortalTyping;
class TypingAsker;

// Before the QApplication exists: in a session the keys can be heard in,
// asks Qt for XWayland under Wayland (a native Wayland tag can't be placed or
// kept on top, and takes the focus), unless the user set QT_QPA_PLATFORM.
// Nothing when the application can run; else the message to print.
std::optional<std::string> prepareSession(const KeyBackendChoice& choice);

struct SessionInput {
  SessionInput();
  ~SessionInput();
  SessionInput(SessionInput&&) noexcept;
  SessionInput& operator=(SessionInput&&) noexcept;

  InputPaths paths;
  std::shared_ptr<PortalTyping> portalTyping;  // when typing goes through the portal
  std::unique_ptr<KeySource> keys;
  std::unique_ptr<Paster> paster;  // after keys: it asks them whether right Alt is held
  // The permission step as it stands now; reads keys and paster, so it must
  // not outlive them.
  std::function<InputAccess()> access;
  // Opens the desktop's typing dialog in the background (onboarding's and
  // the dashboard's Allow Typing); nothing when typing needs no dialog.
  std::function<void()> allowTyping;
  std::unique_ptr<TypingAsker> asker;  // last: its question ends first
};

// The key source and paster for the session (not started), with the choice
// and its reasons logged. REQUIRES: choice names a backend.
SessionInput makeSessionInput(const KeyBackendChoice& choice);

// The permission step as the system stands, for the permissions report: the
// paths the application would choose, the desktop's typing answer as kept
// from earlier launches, and the devices where they are the way. Nothing is
// bound, started or asked.
InputAccess probeSessionAccess();

}  // namespace quorvel
