// The two diagnostic reports: what the focused text field looks like through
// the accessibility interface, and whether Quorvel may use accessibility and
// the microphone. Both are small text files written atomically; neither needs
// a display or a window.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/permissions/InputAccess.h"
#include "learning/AccessibleElement.h"
#include "text/CursorContext.h"

namespace quorvel {

// What the sound server lets us do with the microphone.
enum class MicrophoneAccess {
  allowed,      // the server answers and has a default source
  denied,       // the server refuses us
  restricted,   // no sound server, or one without any source
  notAskedYet,  // never on Linux; kept for the report's full vocabulary
};

// "allowed", "denied", "restricted", "not asked yet".
std::string_view microphoneAccessName(MicrophoneAccess access);

// "app: …\nkind: …\nbefore: \"…\"\nafter: \"…\"\n", or
// "no readable field: " + problem + "\n" when nothing was read.
std::string cursorContextReport(const std::optional<CursorContext>& context,
                                const std::string& problem);

// "accessibility: allowed|not allowed\nmicrophone: …\n"; in a Wayland
// session also "keyboard: …\nvirtual keyboard: …\n" and, while either is
// missing, "to allow: " + what grants it + "\n".
std::string permissionsReport(bool accessibilityTrusted, MicrophoneAccess microphone,
                              const InputAccess& input = {});

// The "--cursor-context" run: waits (time to focus a field), reads the field
// with the default limits and writes the report. A write error is ignored.
// Exit status 0.
int runCursorContext(AccessibilityDesktop& desktop, const std::filesystem::path& file,
                     std::chrono::milliseconds wait);

// The "--permissions-report" run. Exit status 0.
int runPermissionsReport(AccessibilityDesktop& desktop, MicrophoneAccess microphone,
                         const std::filesystem::path& file, const InputAccess& input = {});

// The pause before "--cursor-context" reads: 3 s, or QUORVEL_CURSOR_CONTEXT_WAIT_MS
// (tests shorten it).
std::chrono::milliseconds cursorContextWait();

}  // namespace quorvel
