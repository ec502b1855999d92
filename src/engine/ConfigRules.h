// The pure rules behind the configuration: how a port, a switch, the data
// folder and a cleanup layer's header version are decided from their inputs.
// Config applies them once to the real environment; tests call them directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/Files.h"
#include "support/Json.h"

namespace quorvel {

// A port setting: the variable's decimal value, else fallback.
std::int64_t portFromSetting(const std::optional<std::string>& value, std::int64_t fallback);

// A feature switch: an environment value turns it on unless it is exactly "0";
// without one, a stored Bool decides; anything else (absent, another type) is on.
bool switchFromSettings(const std::optional<std::string>& environment,
                        const std::optional<Json>& stored);

// How long dictations are finished: from the pieces cleaned while the user
// talked (on), by cleaning the whole text again (off), or decided by how fast
// the language model writes on this machine (automatic).
enum class FastFinishSetting { automatic, on, off };

// QUORVEL_FAST_FINISH when set: "auto" is automatic, "0" off, anything else on.
// Otherwise the stored "fastFinish": a Bool (on or off) or one of the texts
// "auto", "1", "0". Anything else, or nothing, is automatic.
FastFinishSetting fastFinishFromSettings(const std::optional<std::string>& environment,
                                         const std::optional<Json>& stored);

// The settings page's switch "Clean while I talk" over the stored
// "fastFinish": it shows on unless the setting is off, since automatic cleans
// while talking wherever that helps. Switched off it stores false; switched
// on it stores "auto", the default.
bool cleanWhileTalkingShown(const std::optional<Json>& stored);
Json cleanWhileTalkingStored(bool on);

struct RootChoice {
  fs::path root;
  bool createFolders = false;  // whether models/ and logs/ are made below it
};

// The data folder: QUORVEL_ROOT when set (not empty); else home/Quorvel when it
// holds both "models" and "training" (a development tree); else the per-user
// data folder + "Quorvel".
RootChoice chooseRoot(const std::optional<std::string>& rootSetting, const fs::path& home,
                      const fs::path& userDataFolder);

// The header version a cleanup layer file was trained with, from its name:
// the number after the last "-" (extension dropped) when it is 2 to 99, else 2.
// «cleanup-5.gguf» is 5, «cleanup.gguf» 2.
int cleanupVersion(std::string_view fileName);

// The cleanup layer to load from folder: the "cleanup-N.gguf" with the highest
// N from 3 to 99 (names containing "small" are skipped), else folder/cleanup.gguf.
fs::path newestCleanupLayer(const fs::path& folder);

}  // namespace quorvel
