// The command-line dispatch: which mode the arguments ask for. Modes are tried
// in a fixed order and the first that matches wins, wherever its flag stands.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

enum class Mode {
  cursorContext,       // "--cursor-context" FILE
  downloadTest,        // "--download-test" DIR
  downloadModels,      // "--download-models" [--speech base|small|turbo]
  permissionsReport,   // "--permissions-report" FILE
  tagDemo,             // "--bubble-demo"
  tagSnapshot,         // "--bubble-snapshot" DIR
  noteSnapshot,        // "--note-snapshot" DIR
  dashboardSnapshot,   // "--dashboard-snapshot" DIR
  onboardingSnapshot,  // "--onboarding-snapshot" DIR
  bank,                // "--bank" IN OUT
  replay,              // "--replay"
  test,                // "--test" WAV…
  help,                // "--help" or "-h"
  version,             // "--version"
  app,                 // anything else: the desktop application
};

struct ModeChoice {
  Mode mode = Mode::app;
  std::string flag;                 // the flag that matched (empty for the application)
  std::vector<std::string> values;  // the elements right after it that it takes
};

// args holds the whole argument list, element 0 (the program path) included,
// and every element counts. A flag matches by exact equality; a flag whose
// values are missing counts as absent and the search goes on.
ModeChoice chooseMode(const std::vector<std::string>& args);

// The flag of each mode, in dispatch order (for usage text and messages).
std::string_view flagOf(Mode mode);

// Usage text printed by "--help".
std::string usageText();

}  // namespace quorvel
