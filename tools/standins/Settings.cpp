// Reading the stand-in settings from the environment.
#include "Settings.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

namespace quorvel::standin {

namespace {

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

double milliseconds(const char* name, std::ostream& notes) {
  const std::string text = variable(name);
  if (text.empty()) return 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value) || value < 0) {
    notes << "ignoring " << name << "=\"" << text << "\": expected a number of milliseconds >= 0\n";
    return 0;
  }
  return std::min(value, kLongestWaitMs);
}

}  // namespace

Settings readSettings(Flavour flavour, std::ostream& notes) {
  Settings settings;
  const std::string key = variable(flavour == Flavour::whisper ? "QUORVEL_ENGINE_KEY" : "LLAMA_API_KEY");
  if (!key.empty()) settings.key = key;
  settings.startMs = milliseconds("QUORVEL_STANDIN_START_MS", notes);
  settings.msPerAudioSecond = milliseconds("QUORVEL_STANDIN_MS_PER_AUDIO_S", notes);
  settings.msPerPromptToken = milliseconds("QUORVEL_STANDIN_MS_PER_PROMPT_TOKEN", notes);
  settings.msPerToken = milliseconds("QUORVEL_STANDIN_MS_PER_TOKEN", notes);
  const std::string fault = variable("QUORVEL_STANDIN_FAULT");
  if (auto parsed = parseFault(fault)) {
    settings.fault = *parsed;
  } else {
    notes << "ignoring QUORVEL_STANDIN_FAULT=\"" << fault
          << "\": expected hang, http500, notjson, notext, drop or exit\n";
  }
  settings.scriptPath = variable("QUORVEL_STANDIN_SCRIPT");
  settings.logPath = variable("QUORVEL_STANDIN_LOG");
  settings.defaultText = variable("QUORVEL_STANDIN_TEXT");
  return settings;
}

}  // namespace quorvel::standin
