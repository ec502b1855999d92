// The Linux desktop session and the adapters it allows, chosen in this one
// place, each choice logged with its reason:
// - the session (X11, Wayland or none), from the environment: with none the
//   program says why instead of starting half-working; under Wayland Qt is
//   asked for XWayland, unless the user set QT_QPA_PLATFORM (a native Wayland
//   tag can't be placed or kept on top, and takes the focus);
// - the keys and the typing (chooseInputPaths): in an X11 session the X11
//   adapters (XInput2 keys, XTEST chord); under Wayland the desktop's portals
//   (global shortcuts, remote desktop) where offered, else the keyboard
//   devices (evdev) and a virtual keyboard (uinput), else XWayland's X11 path,
//   with the clipboard and the windows through XWayland. QUORVEL_KEYS=
//   x11|evdev|portal chooses by hand;
// - the window in front (chooseFrontWindow), for the note's source
//   application and the accessibility desktop;
// - the permission step as it stands (the access probe);
// - what the tag and the note ask of the window system (compositing, every
//   workspace), answered by X11 when Qt runs on it.
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
#include "app/note/NoteWindow.h"
#include "app/desktop/Paster.h"
#include "platform/linux/AtspiDesktop.h"
#include "platform/linux/KeyBackend.h"

namespace quorvel {

class PortalTyping;
class TypingAsker;

// The adapters for the session (not started).
struct SessionAdapters {
  SessionAdapters();
  ~SessionAdapters();
  SessionAdapters(SessionAdapters&&) noexcept;
  SessionAdapters& operator=(SessionAdapters&&) noexcept;

  InputPaths paths;
  std::shared_ptr<PortalTyping> portalTyping;  // when typing goes through the portal
  std::unique_ptr<KeySource> keys;
  std::unique_ptr<Paster> paster;  // after keys: it asks them whether right Alt is held
  std::unique_ptr<NoteDesktop> noteDesktop;
  // The permission step as it stands now; reads keys and paster, so it must
  // not outlive them.
  std::function<InputAccess()> access;
  // Opens the desktop's typing dialog in the background (onboarding's and
  // the dashboard's Allow Typing); nothing when typing needs no dialog.
  std::function<void()> allowTyping;
  std::unique_ptr<TypingAsker> asker;  // last: its question ends first
};

class LinuxSession {
 public:
  // Reads the session from the environment; nothing is opened or asked.
  static LinuxSession look();

  // Before the QApplication exists: nothing when the application can run
  // here (Qt is then pointed at the window system to use); else the message
  // to print.
  std::optional<std::string> prepare() const;

  // The keys, the typing, the note's desktop and the permission step, with
  // the choices and their reasons logged. The portals and devices are asked
  // now (bounded). REQUIRES: prepare() gave nothing.
  SessionAdapters open() const;

  // The accessibility desktop, looking for the window in front where the
  // session shows it.
  std::unique_ptr<AtspiDesktop> accessibility() const;

  // The permission step as the system stands, for the permissions report: the
  // paths the application would choose, the desktop's typing answer as kept
  // from earlier launches, and the devices where they are the way. Nothing is
  // bound, started or asked.
  InputAccess probeAccess() const;

  // Installs the window system's answers for the tag and the note: X11's
  // through Qt's own connection when Qt runs on X11 (asked at each call, so
  // this may come before the QApplication).
  static void installWindowSystem();

 private:
  LinuxSession() = default;

  KeyBackendChoice kind_;  // the session as the keys see it: X11, Wayland (evdev) or none
  SessionFacts facts_;     // the override and the displays; portals and devices are asked in open()
  std::optional<std::string> qtPlatform_;  // QT_QPA_PLATFORM as the user set it
};

}  // namespace quorvel
