// The steps of a launch that come before the application's own: one running
// copy per user, the predecessor application stopped and its settings copied
// once. Plain functions over the process table and the defaults files.
//
// Threading: main thread, before the event loop runs (the waits block).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "app/desktop/SingleInstance.h"
#include "support/Files.h"
#include "support/UserDefaults.h"

namespace quorvel {

// --- Single instance ---
enum class InstanceChoice {
  run,          // we are the only copy
  reopenOther,  // the same program runs already: it shows itself, we exit 0
  askUser,      // a copy from elsewhere runs: "Use This Copy" or "Quit"
};
InstanceChoice instanceChoice(const std::optional<OtherCopy>& other, const std::string& ourExecutable);

inline constexpr const char* kAlreadyRunning = "Quorvel is already running";
// "Another copy is in the menu bar (PATH). Switch to this one?"
std::string alreadyRunningDetail(const OtherCopy& other);

// The executable of a process ("" when unknown or gone).
std::string executableOf(pid_t pid);
bool processRunning(pid_t pid);

// Asks a process to end (SIGTERM unless it was already asked), waits for it
// in 0.1 s slices up to `limit`, and force-stops it only when its executable
// is `killableExecutable` (or killableName matches the executable's file
// name). Whether it is gone.
bool stopProcess(pid_t pid, bool signal, std::chrono::milliseconds limit, const std::string& killableExecutable,
                 const std::string& killableName = {});

// --- Predecessor ---
inline constexpr const char* kPredecessorName = "vimmo";
// This user's processes whose executable is named "vimmo".
std::vector<pid_t> predecessorProcesses();
// $XDG_CONFIG_HOME/vimmo/defaults.json
fs::path predecessorDefaultsFile();
// Copies "speechModel", "cleanupModel", "cleanup", "sound", "bubble",
// "fastChunks" and "saveAudio" where the predecessor set them, once: marked
// by "migratedFromVimmo". A predecessor file that is missing or unreadable
// marks nothing, so a later launch tries again. Whether keys were copied.
bool migrateVimmoSettings(UserDefaults& ours, const fs::path& theirs);

}  // namespace quorvel
