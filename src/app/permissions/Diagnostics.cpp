// The report texts of the two diagnostics and their runs.
#include "app/permissions/Diagnostics.h"

#include <thread>

#include "learning/CursorContextReader.h"
#include "support/EnvironmentValues.h"
#include "support/Files.h"

namespace quorvel {

std::string_view microphoneAccessName(MicrophoneAccess access) {
  switch (access) {
    case MicrophoneAccess::allowed: return "allowed";
    case MicrophoneAccess::denied: return "denied";
    case MicrophoneAccess::restricted: return "restricted";
    case MicrophoneAccess::notAskedYet: return "not asked yet";
  }
  return "restricted";
}

std::string cursorContextReport(const std::optional<CursorContext>& context,
                                const std::string& problem) {
  if (!context) return "no readable field: " + problem + "\n";
  return "app: " + context->app.value_or("?") + "\nkind: " + std::string(kindName(context->kind)) +
         "\nbefore: \"" + context->before + "\"\nafter: \"" + context->after + "\"\n";
}

std::string permissionsReport(bool accessibilityTrusted, MicrophoneAccess microphone, const InputAccess& input) {
  std::string report = std::string("accessibility: ") + (accessibilityTrusted ? "allowed" : "not allowed") +
                       "\nmicrophone: " + std::string(microphoneAccessName(microphone)) + "\n";
  if (!input.wayland) return report;
  report += "keys: " + std::string(keysPathName(input.keys)) + "\n";
  report += "typing: " + std::string(typingPathName(input.typing));
  if (input.typing == TypingPath::remoteDesktop) report += " (" + std::string(typingConsentName(input.typingConsent)) + ")";
  report += "\n";
  report += std::string("keyboard: ") + (input.readKeyboard ? "allowed" : "not allowed") + "\n";
  report += std::string("virtual keyboard: ") + (input.virtualKeyboard ? "allowed" : "not allowed") + "\n";
  if (input.typingAsk()) report += "to allow typing: open Set Up Quorvel and click Allow Typing\n";
  if (!input.readKeyboard || !input.virtualKeyboard) {
    if (input.loginPending && !input.ruleMissing) {
      report += "to allow: log out and back in (the account is in the input group already)\n";
    } else {
      report += "to allow: " + inputAccessCommand(input, uinputRuleFile()) + ", then log out and back in\n";
    }
  }
  return report;
}

std::chrono::milliseconds cursorContextWait() {
  if (auto text = nonEmptyEnvironmentValue("QUORVEL_CURSOR_CONTEXT_WAIT_MS")) {
    if (auto value = parseDecimalInteger(*text); value && *value >= 0 && *value <= 60000) {
      return std::chrono::milliseconds(*value);
    }
  }
  return std::chrono::seconds(3);
}

int runCursorContext(AccessibilityDesktop& desktop, const std::filesystem::path& file,
                     std::chrono::milliseconds wait) {
  std::this_thread::sleep_for(wait);
  const auto context = CursorContextReader::read(desktop);
  (void)writeFileAtomically(file, cursorContextReport(context, CursorContextReader::lastProblem()));
  return 0;
}

int runPermissionsReport(AccessibilityDesktop& desktop, MicrophoneAccess microphone,
                         const std::filesystem::path& file, const InputAccess& input) {
  (void)writeFileAtomically(file, permissionsReport(desktop.isTrusted(), microphone, input));
  return 0;
}

}  // namespace quorvel
