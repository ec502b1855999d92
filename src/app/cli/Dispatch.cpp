// The mode table and its matching rule.
#include "app/cli/Dispatch.h"

#include <algorithm>
#include <array>

namespace quorvel {
namespace {

struct ModeEntry {
  Mode mode;
  std::string_view flag;
  int valueCount;
};

// In dispatch order: the earliest entry that matches wins.
constexpr std::array<ModeEntry, 14> kModeTable = {{
    {Mode::cursorContext, "--cursor-context", 1},
    {Mode::downloadTest, "--download-test", 1},
    {Mode::permissionsReport, "--permissions-report", 1},
    {Mode::tagDemo, "--bubble-demo", 0},
    {Mode::tagSnapshot, "--bubble-snapshot", 1},
    {Mode::noteSnapshot, "--note-snapshot", 1},
    {Mode::dashboardSnapshot, "--dashboard-snapshot", 1},
    {Mode::onboardingSnapshot, "--onboarding-snapshot", 1},
    {Mode::bank, "--bank", 2},
    {Mode::replay, "--replay", 0},
    // "--test" takes its WAV files from the rest of the line itself.
    {Mode::test, "--test", 0},
    // Added for command-line users; after every mode, so they never shadow one.
    {Mode::downloadModels, "--download-models", 0},
    {Mode::help, "--help", 0},
    {Mode::version, "--version", 0},
}};

}  // namespace

ModeChoice chooseMode(const std::vector<std::string>& args) {
  for (const ModeEntry& entry : kModeTable) {
    const auto match = std::find(args.begin(), args.end(), entry.flag);
    if (match == args.end()) continue;
    const auto position = static_cast<size_t>(match - args.begin());
    if (position + static_cast<size_t>(entry.valueCount) >= args.size()) {
      continue;  // its values are missing: as if the flag were absent
    }
    ModeChoice choice{entry.mode, std::string(entry.flag), {}};
    for (int k = 1; k <= entry.valueCount; ++k) choice.values.push_back(args[position + k]);
    return choice;
  }
  if (std::find(args.begin(), args.end(), "-h") != args.end()) return {Mode::help, "-h", {}};
  return {};
}

std::string_view flagOf(Mode mode) {
  for (const ModeEntry& entry : kModeTable) {
    if (entry.mode == mode) return entry.flag;
  }
  return "";
}

std::string usageText() {
  return R"(Usage: quorvel [MODE]

Quorvel is a local-first dictation application: hold the dictation key (right
Alt unless you chose another in Settings) in any application, talk, and let go;
the recording becomes clean, finished text typed where the cursor is. Speech is
transcribed by a local whisper.cpp server and cleaned by a local llama.cpp model.

Without a mode, quorvel starts the desktop application.

Engine runs (no window):
  --test WAV...              transcribe and clean WAV files as if spoken live
      [--instant] [--chunk-min SECONDS] [--pause-ms MS] [--pause-ratio R] [--no-trim]
  --bank IN OUT              clean every transcript of a JSON-lines bank
  --replay                   clean again the long dictations of the history file

Models:
  --download-models [--speech base|small|turbo]
                             download and verify the models dictation needs
                             (speech: Whisper, MIT licence; language: Qwen3 1.7B,
                             Apache-2.0 licence) into the data folder

Checks and pictures:
  --download-test DIR        download the required model files into DIR and verify them
  --cursor-context FILE      after 3 s, write the focused field's text around the cursor
  --permissions-report FILE  write the microphone and accessibility permission states
  --bubble-demo              play the status tag's phases on screen
  --bubble-snapshot DIR      render the status tag in every phase to PNG files
  --note-snapshot DIR        render the Brainstorm note to PNG files
  --dashboard-snapshot DIR   render the dashboard pages to PNG files
  --onboarding-snapshot DIR  render the onboarding steps to PNG files

  --help                     show this text
  --version                  show the version

Environment:
  QUORVEL_ROOT               data folder (default: $XDG_DATA_HOME/Quorvel)
  QUORVEL_WHISPER_SERVER     whisper.cpp server executable (default: libexec, then PATH)
  QUORVEL_LLAMA_SERVER       llama.cpp server executable (default: libexec, then PATH)
  QUORVEL_WHISPER_PORT       speech server port (default 8178)
  QUORVEL_LLAMA_PORT         language-model server port (default 8179)
  QUORVEL_TALK_AHEAD, QUORVEL_LONG_PIECES, QUORVEL_NEURAL_ENGINE
                             "0" switches the feature off
  QUORVEL_MODEL_HOST         a mirror serving every model under its own file name
  QUORVEL_LOG_STDERR=1       also print diagnostic lines on standard error
)";
}

}  // namespace quorvel
