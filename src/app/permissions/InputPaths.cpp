// Choosing the session's key and typing paths.
#include "app/permissions/InputPaths.h"

namespace quorvel {

std::string_view keysPathName(KeysPath path) {
  switch (path) {
    case KeysPath::x11: return "X11 key events";
    case KeysPath::globalShortcuts: return "the desktop's global shortcuts portal";
    case KeysPath::evdev: return "the keyboard devices (input group)";
    case KeysPath::xwayland: return "X11 key events through XWayland (X11 windows only)";
    case KeysPath::none: return "none";
  }
  return "none";
}

std::string_view typingPathName(TypingPath path) {
  switch (path) {
    case TypingPath::xtest: return "XTEST";
    case TypingPath::remoteDesktop: return "the desktop's remote desktop portal";
    case TypingPath::uinput: return "a virtual keyboard (uinput, input group)";
    case TypingPath::xwayland: return "XTEST through XWayland (X11 windows only)";
    case TypingPath::none: return "none";
  }
  return "none";
}

std::string_view typingConsentName(TypingConsent consent) {
  switch (consent) {
    case TypingConsent::notAsked: return "not asked yet";
    case TypingConsent::given: return "allowed";
    case TypingConsent::refused: return "not allowed";
    case TypingConsent::revoked: return "taken back";
    case TypingConsent::unavailable: return "unavailable";
  }
  return "unavailable";
}

InputPaths chooseInputPaths(const SessionFacts& facts) {
  InputPaths paths;
  const std::string override = facts.keysOverride.value_or("");
  if (override == "x11") {
    return {KeysPath::x11, "QUORVEL_KEYS=x11", TypingPath::xtest, "QUORVEL_KEYS=x11"};
  }
  if (override == "evdev") {
    return {KeysPath::evdev, "QUORVEL_KEYS=evdev", TypingPath::uinput, "QUORVEL_KEYS=evdev"};
  }
  if (override == "portal") {
    return {KeysPath::globalShortcuts, "QUORVEL_KEYS=portal", TypingPath::remoteDesktop, "QUORVEL_KEYS=portal"};
  }
  const std::string ignored =
      override.empty() ? std::string() : " (QUORVEL_KEYS=" + override + " is neither x11, evdev nor portal)";
  if (!facts.wayland) {
    if (!facts.x11) {
      return {KeysPath::none, "no desktop session (neither WAYLAND_DISPLAY nor DISPLAY is set)" + ignored,
              TypingPath::none, "no desktop session" + ignored};
    }
    return {KeysPath::x11, "an X11 session" + ignored, TypingPath::xtest, "an X11 session" + ignored};
  }

  if (facts.globalShortcutsVersion > 0) {
    paths.keys = KeysPath::globalShortcuts;
    paths.keysReason = "a Wayland session whose desktop offers global shortcuts";
  } else if (facts.keyboardsReadable) {
    paths.keys = KeysPath::evdev;
    paths.keysReason = "a Wayland session without global shortcuts; the keyboard devices can be read";
  } else if (facts.x11) {
    paths.keys = KeysPath::xwayland;
    paths.keysReason = "a Wayland session without global shortcuts or readable keyboard devices";
  } else {
    paths.keys = KeysPath::evdev;
    paths.keysReason = "a Wayland session without global shortcuts, keyboard devices to read or XWayland";
  }

  if (facts.remoteDesktopVersion > 0 && facts.remoteDesktopKeyboard) {
    paths.typing = TypingPath::remoteDesktop;
    paths.typingReason = "a Wayland session whose desktop offers remote desktop keyboards";
  } else if (facts.uinputWritable) {
    paths.typing = TypingPath::uinput;
    paths.typingReason = "a Wayland session without a remote desktop keyboard; /dev/uinput can be written";
  } else if (facts.x11) {
    paths.typing = TypingPath::xwayland;
    paths.typingReason = "a Wayland session without a remote desktop keyboard or a writable /dev/uinput";
  } else {
    paths.typing = TypingPath::uinput;
    paths.typingReason = "a Wayland session without a remote desktop keyboard, a writable /dev/uinput or XWayland";
  }
  paths.keysReason += ignored;
  paths.typingReason += ignored;
  return paths;
}

FrontWindowChoice chooseFrontWindow(const SessionFacts& facts) {
  if (facts.wayland) {
    return {FrontWindowPath::accessibilityOnly, "a Wayland session: XWayland sees only its own windows"};
  }
  if (!facts.x11) return {FrontWindowPath::x11, "no X display: no application is known"};
  return {FrontWindowPath::x11, "an X11 session"};
}

bool beyondX11(const InputPaths& paths) {
  const bool x11Keys = paths.keys == KeysPath::x11 || paths.keys == KeysPath::none;
  const bool x11Typing = paths.typing == TypingPath::xtest || paths.typing == TypingPath::none;
  return !x11Keys || !x11Typing;
}

std::string describeInputPaths(const InputPaths& paths) {
  return "keys through " + std::string(keysPathName(paths.keys)) + " (" + paths.keysReason + "); typing through " +
         std::string(typingPathName(paths.typing)) + " (" + paths.typingReason + ")";
}

}  // namespace quorvel
