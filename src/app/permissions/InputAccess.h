// The one-time permission step of a Wayland session, and every text that
// explains it. There Quorvel reads the keyboards under /dev/input (the "input"
// group) and types through a virtual keyboard made on /dev/uinput (writable by
// that group once Quorvel's udev rule is installed). Both come from one
// command; the group applies from the next login. Never root at run time.
#pragma once

#include <string>

#include "app/permissions/InputPaths.h"

namespace quorvel {

struct InputAccess {
  bool wayland = false;          // keys come from the keyboard devices
  bool readKeyboard = true;      // the keyboards can be read
  bool virtualKeyboard = true;   // the virtual keyboard can be made
  bool ruleMissing = false;      // /dev/uinput is not open to the input group yet
  bool loginPending = false;     // the account is in the group; this login is older
  // Which way each half goes now (readKeyboard and virtualKeyboard matter
  // where they are the devices), and, when typing goes through the desktop's
  // remote desktop portal, the user's answer to its dialog.
  KeysPath keys = KeysPath::evdev;
  TypingPath typing = TypingPath::uinput;
  TypingConsent typingConsent = TypingConsent::given;
  // Typing waits for the user to allow it in the desktop's dialog.
  bool typingAsk() const { return typing == TypingPath::remoteDesktop && typingConsent != TypingConsent::given; }
  bool complete() const { return !wayland || (readKeyboard && virtualKeyboard && !typingAsk()); }
  bool operator==(const InputAccess&) const = default;
};

// Where the udev rule is installed from: the application's resources.
inline constexpr const char* kUinputRuleName = "60-quorvel-uinput.rules";
std::string uinputRuleFile();

// The one command that grants what is missing: joining the input group, and
// when the rule is missing, installing it first. ruleFile: the rule's path.
std::string inputAccessCommand(const InputAccess& access, const std::string& ruleFile);

// For the windows and the permissions report: what is missing, the command,
// and that a new login is needed (or only the new login, when the group is
// already there).
std::string inputAccessDetail(const InputAccess& access, const std::string& ruleFile);

// For the typing row while the desktop's dialog has not been answered yes:
// what happened and what the button does.
std::string typingConsentDetail(TypingConsent consent);

// The status line while something is missing ("Needs permission to read the
// keyboard (see below)"), or "" when nothing is.
std::string inputAccessStatusLine(const InputAccess& access);

}  // namespace quorvel
