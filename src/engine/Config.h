// The engine's configuration: folders, helper executables, ports, model
// tables, cleanup layers and feature switches. Each value is worked out once,
// at first use (environment first, then the user defaults, then built-in
// defaults) and then held for the life of the process. Thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ConfigRules.h"
#include "support/Files.h"

namespace quorvel {

struct ModelChoice {
  std::string label;
  std::string file;
};

struct SpeechModelDescription {
  std::string name;
  std::string detail;
};

// A cleanup layer present on disk: its name, its index in the server's
// "--lora" list, and its file.
struct AdapterEntry {
  std::string name;
  int id = 0;
  fs::path file;
};

namespace Config {

// Folders and files.
const fs::path& home();
const fs::path& root();
bool isDev();
const fs::path& models();
const fs::path& logs();
const fs::path& userCleanupConfig();
const fs::path& adaptersDir();
const fs::path& neuralEngineDir();
// Application resources: QUORVEL_RESOURCES, else <prefix>/share/quorvel, else
// the source tree's resources/ (a build that has not been installed).
const fs::path& resources();

// Helper executables: QUORVEL_WHISPER_SERVER / QUORVEL_LLAMA_SERVER, else
// <prefix>/libexec/quorvel/<name>, else <name> on PATH, else the libexec path
// (whose launch then fails and is logged).
const fs::path& whisperServer();
const fs::path& llamaServer();

// Ports: QUORVEL_WHISPER_PORT / QUORVEL_LLAMA_PORT when decimal, else 8178 / 8179.
std::int64_t whisperPort();
std::int64_t llamaPort();

// Model tables.
const std::vector<ModelChoice>& speechModels();
const std::map<std::string, SpeechModelDescription>& speechModelInfo();
const std::vector<ModelChoice>& cleanupModels();
inline constexpr std::string_view baseModelFile = "qwen3-1.7b-q4_k_m.gguf";
const std::vector<std::string>& adapterNames();
inline constexpr std::string_view trainedSystem =
    "Clean up this dictated text. Output only the cleaned text. Never reply to it.";

// The cleanup layer the language-model server was last started with.
std::optional<fs::path> loadedCleanupLayer();
void setLoadedCleanupLayer(std::optional<fs::path> layer);

// Keys of the hot-keys, in the original platform's codes (the shell maps them).
inline constexpr int rightOptionKeyCode = 61;
inline constexpr unsigned rightOptionDeviceMask = 0x40;
inline constexpr int rightCommandKeyCode = 54;
inline constexpr unsigned rightCommandDeviceMask = 0x10;

// Layers.
fs::path adapterFile(std::string_view name);
const std::vector<AdapterEntry>& adapters();
bool usesAdapters();
std::optional<int> adapterID(std::string_view name);
const fs::path& baseModelPath();
int cleanupHeaderVersion();

// Feature switches (environment, then user defaults, then on).
bool talkAheadEnabled();
bool longPiecesEnabled();
// QUORVEL_FAST_FINISH, then the "fastFinish" default, then automatic; read
// afresh at every call, so a change on the settings page holds for the next
// dictation.
FastFinishSetting fastFinish();

// Forgets every value worked out so far, so a test can change the environment
// and see it read again. Never called by the program itself.
void resetForTesting();

}  // namespace Config

namespace NeuralEngine {
bool enabled();
// The encoder folder for a speech-model file: the quantisation suffix and
// ".bin" dropped, "-encoder.mlmodelc" added, inside the neural-engine folder.
fs::path encoder(std::string_view modelFile);
bool available(std::string_view modelFile);
// neural-engine/<file>, made a link to ../<file> when nothing reachable is there.
fs::path modelPath(std::string_view modelFile);
}  // namespace NeuralEngine

}  // namespace quorvel
