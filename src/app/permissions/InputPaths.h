// Which way each half of the desktop input goes — hearing the dictation and
// note keys, and typing the text — and the one function that chooses them
// from what the session offers, each with its reason in words for the log
// and the permissions report.
//
// In an X11 session both go through X11 (raw key events, XTEST). Under
// Wayland, in this order: the desktop's portals (global shortcuts for the
// keys, remote desktop for typing; no group needed), then the keyboard
// devices and a uinput virtual keyboard (the "input" group), then XWayland's
// X11 path, which reaches X11 windows only; when nothing works yet the
// devices stay chosen, so the permission step says what to do.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

enum class KeysPath {
  x11,              // XInput2 raw events (an X11 session)
  globalShortcuts,  // the desktop's global shortcuts portal
  evdev,            // the keyboard devices under /dev/input
  xwayland,         // X11 raw events through XWayland: only while an X11 window has the focus
  none,             // no desktop session
};

enum class TypingPath {
  xtest,          // XTEST (an X11 session)
  remoteDesktop,  // the desktop's remote desktop portal
  uinput,         // a virtual keyboard on /dev/uinput
  xwayland,       // XTEST through XWayland: reaches X11 windows only
  none,           // no desktop session
};

// The user's answer to the desktop's remote desktop dialog, as far as known.
enum class TypingConsent {
  notAsked,     // nothing asked yet in this run
  given,        // keys can be sent
  refused,      // the user said no in the dialog (now or on an earlier launch)
  revoked,      // given, then the desktop ended the session
  unavailable,  // no portal, no keyboard on offer, or the portal failed
};

// "global shortcuts portal", "uinput virtual keyboard", … for the report.
std::string_view keysPathName(KeysPath path);
std::string_view typingPathName(TypingPath path);
// "allowed", "not allowed", … for log lines and the report.
std::string_view typingConsentName(TypingConsent consent);

// What the session offers, as the platform found it.
struct SessionFacts {
  std::optional<std::string> keysOverride;  // QUORVEL_KEYS: x11, evdev or portal
  bool wayland = false;                     // WAYLAND_DISPLAY is set
  bool x11 = false;                         // DISPLAY is set (XWayland under Wayland)
  unsigned globalShortcutsVersion = 0;      // 0: the portal does not offer it
  unsigned remoteDesktopVersion = 0;
  bool remoteDesktopKeyboard = true;        // the remote desktop portal offers a keyboard
  bool keyboardsReadable = false;           // /dev/input can be read
  bool uinputWritable = false;              // /dev/uinput can be written
};

struct InputPaths {
  KeysPath keys = KeysPath::none;
  std::string keysReason;
  TypingPath typing = TypingPath::none;
  std::string typingReason;
  bool operator==(const InputPaths&) const = default;
};

InputPaths chooseInputPaths(const SessionFacts& facts);

// Where the application in front is found (the note's source application,
// the accessibility desktop's front window): X11's focus, or under Wayland
// only the accessibility tree, since XWayland's X server sees only its own
// windows and its focus says nothing about a native window in front.
enum class FrontWindowPath {
  x11,                // the X server's focus (finds nothing without a display)
  accessibilityOnly,  // a Wayland session
};

struct FrontWindowChoice {
  FrontWindowPath path = FrontWindowPath::x11;
  std::string reason;
  bool operator==(const FrontWindowChoice&) const = default;
};

FrontWindowChoice chooseFrontWindow(const SessionFacts& facts);

// Either half goes another way than X11's own (the Wayland permission step
// applies); false for an X11 session and for no session at all.
bool beyondX11(const InputPaths& paths);

// "keys: global shortcuts portal (the desktop offers global shortcuts);
// typing: …" — the log line.
std::string describeInputPaths(const InputPaths& paths);

}  // namespace quorvel
