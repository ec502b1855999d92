// Pure configuration rules.
#include "engine/ConfigRules.h"

#include <algorithm>
#include <vector>

#include "support/EnvironmentValues.h"

namespace quorvel {

std::int64_t portFromSetting(const std::optional<std::string>& value, std::int64_t fallback) {
  if (!value) return fallback;
  return parseDecimalInteger(*value).value_or(fallback);
}

bool switchFromSettings(const std::optional<std::string>& environment,
                        const std::optional<Json>& stored) {
  if (environment) return *environment != "0";
  if (stored && stored->is_boolean()) return stored->get<bool>();
  return true;
}

FastFinishSetting fastFinishFromSettings(const std::optional<std::string>& environment,
                                         const std::optional<Json>& stored) {
  if (environment) {
    if (*environment == "auto") return FastFinishSetting::automatic;
    return *environment == "0" ? FastFinishSetting::off : FastFinishSetting::on;
  }
  if (stored && stored->is_boolean()) {
    return stored->get<bool>() ? FastFinishSetting::on : FastFinishSetting::off;
  }
  if (stored && stored->is_string()) {
    const std::string& text = stored->get_ref<const std::string&>();
    if (text == "1") return FastFinishSetting::on;
    if (text == "0") return FastFinishSetting::off;
  }
  return FastFinishSetting::automatic;
}

bool cleanWhileTalkingShown(const std::optional<Json>& stored) {
  return fastFinishFromSettings(std::nullopt, stored) != FastFinishSetting::off;
}

Json cleanWhileTalkingStored(bool on) { return on ? Json("auto") : Json(false); }

RootChoice chooseRoot(const std::optional<std::string>& rootSetting, const fs::path& home,
                      const fs::path& userDataFolder) {
  // An empty QUORVEL_ROOT would put "/models" at the top of the file system;
  // it is treated as unset.
  if (rootSetting && !rootSetting->empty()) return {fs::path(*rootSetting), true};
  const fs::path development = home / "Quorvel";
  if (isDirectory(development / "models") && isDirectory(development / "training")) {
    return {development, false};
  }
  return {userDataFolder / "Quorvel", true};
}

namespace {
// The file name without its extension, as a path's stem: "a.b.gguf" → "a.b".
std::string withoutExtension(std::string_view fileName) {
  const auto dot = fileName.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(fileName);
  return std::string(fileName.substr(0, dot));
}

// The number after the last "-" of the stem, when it is a decimal integer.
std::optional<std::int64_t> numberAfterLastDash(std::string_view fileName) {
  const std::string stem = withoutExtension(fileName);
  const auto dash = stem.rfind('-');
  if (dash == std::string::npos) return std::nullopt;
  return parseDecimalInteger(std::string_view(stem).substr(dash + 1));
}
}  // namespace

int cleanupVersion(std::string_view fileName) {
  const auto number = numberAfterLastDash(fileName);
  if (!number || *number < 2 || *number > 99) return 2;
  return static_cast<int>(*number);
}

fs::path newestCleanupLayer(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  // Listing order is the file system's; sort so that ties are decided the same way every time.
  std::sort(names.begin(), names.end());
  std::optional<std::string> best;
  std::int64_t bestNumber = 0;
  for (const auto& name : names) {
    if (!name.starts_with("cleanup-") || !name.ends_with(".gguf")) continue;
    if (name.find("small") != std::string::npos) continue;
    const auto number = numberAfterLastDash(name);
    if (!number || *number < 3 || *number > 99) continue;
    if (!best || *number > bestNumber) {
      best = name;
      bestNumber = *number;
    }
  }
  return folder / (best ? *best : std::string("cleanup.gguf"));
}

}  // namespace quorvel
