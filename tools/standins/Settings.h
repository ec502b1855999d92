// What a stand-in reads from its environment: the bearer key, the latency
// model, the global fault and the script, log and default-answer settings.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "Fault.h"

namespace quorvel::standin {

enum class Flavour { whisper, llama };

struct Settings {
  // The bearer key requests must carry; absent (no key required) when the
  // variable is unset or empty. QUORVEL_ENGINE_KEY for whisper, LLAMA_API_KEY for llama.
  std::optional<std::string> key;

  double startMs = 0;             // QUORVEL_STANDIN_START_MS
  double msPerAudioSecond = 0;    // QUORVEL_STANDIN_MS_PER_AUDIO_S (whisper)
  double msPerPromptToken = 0;    // QUORVEL_STANDIN_MS_PER_PROMPT_TOKEN (llama)
  double msPerToken = 0;          // QUORVEL_STANDIN_MS_PER_TOKEN (llama)
  Fault fault = Fault::none;      // QUORVEL_STANDIN_FAULT, applied to every work request
  std::string scriptPath;         // QUORVEL_STANDIN_SCRIPT
  std::string logPath;            // QUORVEL_STANDIN_LOG
  std::string defaultText;        // QUORVEL_STANDIN_TEXT (whisper, once the script is used up)
};

// Every wait the settings or a script ask for is cut to this, so no request
// can keep a worker for longer than a client would ever wait.
inline constexpr double kLongestWaitMs = 600'000;

// Reads the settings; an unparsable or negative number counts as 0 and an
// unknown fault as none, each with a note on `notes`.
Settings readSettings(Flavour flavour, std::ostream& notes);

}  // namespace quorvel::standin
