// Resolves the configuration values once and holds them.
#include "engine/Config.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "engine/ConfigRules.h"
#include "support/ChildProcess.h"
#include "support/EnvironmentValues.h"
#include "support/Settings.h"

#ifndef QUORVEL_SOURCE_RESOURCES
#define QUORVEL_SOURCE_RESOURCES ""
#endif

namespace quorvel {
namespace {

// Every lazily computed value of the process, replaced whole by resetForTesting.
struct Values {
  std::once_flag rootOnce, resourcesOnce, whisperOnce, llamaOnce, portsOnce, adaptersOnce,
      baseOnce, switchesOnce, headerOnce;
  fs::path home, root, models, logs, userCleanupConfig, adaptersDir, neuralEngineDir;
  bool isDev = false;
  fs::path resources, whisperServer, llamaServer, baseModelPath;
  std::int64_t whisperPort = 8178, llamaPort = 8179;
  std::vector<AdapterEntry> adapters;
  bool neuralEngine = true, talkAhead = true, longPieces = true;
  std::optional<std::int64_t> headerSetting;

  std::mutex layerMutex;
  std::optional<fs::path> loadedCleanupLayer;  // guarded by layerMutex
};

std::mutex valuesMutex;
std::shared_ptr<Values> currentValues;  // guarded by valuesMutex

Values& values() {
  std::scoped_lock lock(valuesMutex);
  if (!currentValues) currentValues = std::make_shared<Values>();
  return *currentValues;
}

Values& withRoot() {
  Values& v = values();
  std::call_once(v.rootOnce, [&v] {
    v.home = homeFolder();
    const RootChoice choice =
        chooseRoot(environmentValue("QUORVEL_ROOT"), v.home, xdgDataHome());
    v.root = choice.root;
    v.isDev = v.root == v.home / "Quorvel";
    v.models = v.root / "models";
    v.logs = v.root / "logs";
    v.userCleanupConfig = v.root / "cleanup.json";
    v.adaptersDir = v.models / "adapters";
    v.neuralEngineDir = v.models / "neural-engine";
    if (choice.createFolders) {  // failures are left to the later writer to report
      createFolders(v.models);
      createFolders(v.logs);
    }
  });
  return v;
}

fs::path helperExecutable(const char* variable, const std::string& name) {
  if (auto configured = nonEmptyEnvironmentValue(variable)) return *configured;
  const fs::path installed = executableFolder().parent_path() / "libexec" / "quorvel" / name;
  if (pathExists(installed)) return installed;
  if (auto found = findOnPath(name)) return *found;
  return installed;
}

Values& withSwitches() {
  Values& v = values();
  std::call_once(v.switchesOnce, [&v] {
    const UserDefaults defaults;
    v.neuralEngine = switchFromSettings(environmentValue("QUORVEL_NEURAL_ENGINE"),
                                        defaults.value(Settings::neuralEngine.key));
    v.talkAhead =
        switchFromSettings(environmentValue("QUORVEL_TALK_AHEAD"), defaults.value(Settings::talkAhead.key));
    v.longPieces =
        switchFromSettings(environmentValue("QUORVEL_LONG_PIECES"), defaults.value(Settings::longPieces.key));
  });
  return v;
}

std::string upperAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

}  // namespace

namespace Config {

const fs::path& home() { return withRoot().home; }
const fs::path& root() { return withRoot().root; }
bool isDev() { return withRoot().isDev; }
const fs::path& models() { return withRoot().models; }
const fs::path& logs() { return withRoot().logs; }
const fs::path& userCleanupConfig() { return withRoot().userCleanupConfig; }
const fs::path& adaptersDir() { return withRoot().adaptersDir; }
const fs::path& neuralEngineDir() { return withRoot().neuralEngineDir; }

const fs::path& resources() {
  Values& v = values();
  std::call_once(v.resourcesOnce, [&v] {
    if (auto configured = nonEmptyEnvironmentValue("QUORVEL_RESOURCES")) {
      v.resources = *configured;
    } else if (const fs::path installed = executableFolder().parent_path() / "share" / "quorvel";
               isDirectory(installed)) {
      v.resources = installed;
    } else {
      v.resources = QUORVEL_SOURCE_RESOURCES;
    }
  });
  return v.resources;
}

const fs::path& whisperServer() {
  Values& v = values();
  std::call_once(v.whisperOnce, [&v] {
    v.whisperServer = helperExecutable("QUORVEL_WHISPER_SERVER", "whisper-server");
  });
  return v.whisperServer;
}

const fs::path& llamaServer() {
  Values& v = values();
  std::call_once(v.llamaOnce,
                 [&v] { v.llamaServer = helperExecutable("QUORVEL_LLAMA_SERVER", "llama-server"); });
  return v.llamaServer;
}

namespace {
Values& withPorts() {
  Values& v = values();
  std::call_once(v.portsOnce, [&v] {
    v.whisperPort = portFromSetting(environmentValue("QUORVEL_WHISPER_PORT"), 8178);
    v.llamaPort = portFromSetting(environmentValue("QUORVEL_LLAMA_PORT"), 8179);
  });
  return v;
}
}  // namespace

std::int64_t whisperPort() { return withPorts().whisperPort; }
std::int64_t llamaPort() { return withPorts().llamaPort; }

const std::vector<ModelChoice>& speechModels() {
  static const std::vector<ModelChoice> choices = {
      {"Fast (base.en)", "ggml-base.en.bin"},
      {"Balanced (small.en)", "ggml-small.en-q5_1.bin"},
      {"Accurate (large-v3-turbo)", "ggml-large-v3-turbo-q5_0.bin"},
  };
  return choices;
}

const std::map<std::string, SpeechModelDescription>& speechModelInfo() {
  static const std::map<std::string, SpeechModelDescription> info = {
      {"ggml-base.en.bin",
       {"Whisper base.en", "OpenAI's open-source speech model, English only, 74M parameters"}},
      {"ggml-small.en-q5_1.bin",
       {"Whisper small.en", "OpenAI's open-source speech model, English only, 244M parameters"}},
      {"ggml-large-v3-turbo-q5_0.bin",
       {"Whisper large-v3 turbo", "OpenAI's open-source speech model, 809M parameters"}},
  };
  return info;
}

const std::vector<ModelChoice>& cleanupModels() {
  static const std::vector<ModelChoice> choices = {{"Quorvel Cleanup 1", "cleanup-trained.gguf"}};
  return choices;
}

const std::vector<std::string>& adapterNames() {
  static const std::vector<std::string> names = {"cleanup"};
  return names;
}

std::optional<fs::path> loadedCleanupLayer() {
  Values& v = values();
  std::scoped_lock lock(v.layerMutex);
  return v.loadedCleanupLayer;
}

void setLoadedCleanupLayer(std::optional<fs::path> layer) {
  Values& v = values();
  std::scoped_lock lock(v.layerMutex);
  v.loadedCleanupLayer = std::move(layer);
}

fs::path adapterFile(std::string_view name) {
  const std::string variable = "QUORVEL_ADAPTER_" + upperAscii(name);
  if (auto configured = nonEmptyEnvironmentValue(variable.c_str())) return *configured;
  if (name == "cleanup") return newestCleanupLayer(adaptersDir());
  return adaptersDir() / (std::string(name) + ".gguf");
}

const std::vector<AdapterEntry>& adapters() {
  Values& v = values();
  std::call_once(v.adaptersOnce, [&v] {
    for (const auto& name : adapterNames()) {
      fs::path file = adapterFile(name);
      if (pathExists(file)) {
        v.adapters.push_back({name, static_cast<int>(v.adapters.size()), std::move(file)});
      }
    }
  });
  return v.adapters;
}

bool usesAdapters() {
  if (!pathExists(baseModelPath())) return false;
  return adapterID("cleanup").has_value();
}

std::optional<int> adapterID(std::string_view name) {
  for (const auto& entry : adapters()) {
    if (entry.name == name) return entry.id;
  }
  return std::nullopt;
}

const fs::path& baseModelPath() {
  Values& v = values();
  std::call_once(v.baseOnce, [&v] {
    if (auto configured = nonEmptyEnvironmentValue("QUORVEL_BASE_MODEL")) {
      v.baseModelPath = *configured;
    } else {
      v.baseModelPath = models() / std::string(baseModelFile);
    }
  });
  return v.baseModelPath;
}

int cleanupHeaderVersion() {
  Values& v = values();
  std::call_once(v.headerOnce, [&v] {
    if (auto setting = environmentValue("QUORVEL_CLEANUP_HEADER")) {
      v.headerSetting = parseDecimalInteger(*setting);
    }
  });
  if (v.headerSetting) {
    // Versions are small numbers; an absurd setting is clamped rather than overflowing.
    return static_cast<int>(std::clamp<std::int64_t>(*v.headerSetting, -1000000, 1000000));
  }
  const fs::path layer = loadedCleanupLayer().value_or(adapterFile("cleanup"));
  return cleanupVersion(layer.filename().string());
}

bool talkAheadEnabled() { return withSwitches().talkAhead; }
bool longPiecesEnabled() { return withSwitches().longPieces; }
FastFinishSetting fastFinish() {
  // Read at every use: the settings page changes it while Quorvel runs.
  return fastFinishFromSettings(environmentValue("QUORVEL_FAST_FINISH"),
                                UserDefaults().value(Settings::fastFinish.key));
}

void resetForTesting() {
  std::scoped_lock lock(valuesMutex);
  currentValues.reset();
}

}  // namespace Config

namespace NeuralEngine {

bool enabled() { return withSwitches().neuralEngine; }

fs::path encoder(std::string_view modelFile) {
  std::string name(modelFile);
  // Drop "(-q<digit>_<digit>)?.bin" at the end.
  if (name.ends_with(".bin")) {
    name.erase(name.size() - 4);
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const size_t n = name.size();
    if (n >= 5 && name[n - 5] == '-' && name[n - 4] == 'q' && isDigit(name[n - 3]) &&
        name[n - 2] == '_' && isDigit(name[n - 1])) {
      name.erase(n - 5);
    }
  }
  return Config::neuralEngineDir() / (name + "-encoder.mlmodelc");
}

bool available(std::string_view modelFile) { return pathExists(encoder(modelFile)); }

fs::path modelPath(std::string_view modelFile) {
  const fs::path location = Config::neuralEngineDir() / std::string(modelFile);
  if (pathExists(location)) return location;
  std::error_code error;
  fs::remove(location, error);  // a broken link, for instance
  fs::create_symlink(fs::path("..") / std::string(modelFile), location, error);
  return location;
}

}  // namespace NeuralEngine

}  // namespace quorvel
