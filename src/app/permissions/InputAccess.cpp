// The Wayland permission step in words.
#include "app/permissions/InputAccess.h"

#include "engine/Config.h"

namespace quorvel {

namespace {

constexpr const char* groupCommand = "sudo usermod -aG input $USER";

}  // namespace

std::string uinputRuleFile() { return (Config::resources() / kUinputRuleName).string(); }

std::string inputAccessCommand(const InputAccess& access, const std::string& ruleFile) {
  if (!access.ruleMissing) return groupCommand;
  // The rule first, so the virtual keyboard's node is the group's as soon
  // as it is (re)made; modprobe in case the module is not loaded yet.
  return "sudo install -m 644 '" + ruleFile + "' /etc/udev/rules.d/ && sudo udevadm control --reload && " +
         "sudo modprobe uinput && sudo udevadm trigger --name-match=uinput && " + groupCommand;
}

std::string inputAccessDetail(const InputAccess& access, const std::string& ruleFile) {
  const std::string what = !access.readKeyboard && !access.virtualKeyboard ? "read the keyboard and type"
                           : !access.readKeyboard                          ? "read the keyboard"
                                                                           : "type into other windows";
  if (access.loginPending && !access.ruleMissing) {
    return "Your account is in the input group, but this login began before that. Log out and back in, "
           "and Quorvel can " + what + ".";
  }
  return "On Wayland, Quorvel reads the keyboard and types through a virtual keyboard itself, which needs "
         "your account in the input group. Run this once in a terminal, then log out and back in:\n" +
         inputAccessCommand(access, ruleFile);
}

std::string typingConsentDetail(TypingConsent consent) {
  switch (consent) {
    case TypingConsent::refused:
      return "Typing was not allowed in your desktop's dialog. Click Allow Typing to be asked again.";
    case TypingConsent::revoked:
      return "Your desktop took back the permission to type. Click Allow Typing to be asked again.";
    case TypingConsent::unavailable:
      return "Your desktop's remote desktop portal did not answer. Click Allow Typing to try again.";
    default:
      return "Your desktop asks once whether Quorvel may type for you. Click Allow Typing and confirm in its "
             "dialog; no terminal command and no new login are needed.";
  }
}

std::string inputAccessStatusLine(const InputAccess& access) {
  if (access.complete()) return {};
  if (!access.readKeyboard) return "Needs permission to read the keyboard (see below)";
  return "Needs permission to type (see below)";
}

}  // namespace quorvel
