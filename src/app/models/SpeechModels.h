// The speech models the settings page offers (base.en, small.en,
// large-v3-turbo): what each costs and gives, which are on this computer,
// and the state of a switch to another one (downloading, switching the
// speech server when no dictation is under way, failed).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/models/ModelStore.h"

namespace quorvel {

struct SpeechModelRow {
  std::string file;     // "ggml-small.en-q5_1.bin"
  std::string title;    // "Whisper small.en"
  std::string note;     // one line: faster or more exact
  std::string licence;  // "MIT"
  std::int64_t bytes = 0;
  bool present = false;  // downloaded to this computer
  bool chosen = false;   // the one dictation uses
  bool operator==(const SpeechModelRow&) const = default;
};

struct SpeechSwitch {
  enum class Phase { idle, downloading, switching, failed };
  Phase phase = Phase::idle;
  std::string file;     // the model being switched to
  int percent = 0;      // while downloading
  std::string message;  // when failed
  bool busy() const { return phase == Phase::downloading || phase == Phase::switching; }
  bool operator==(const SpeechSwitch&) const = default;
};

// The offered models in order, from faster to more exact; present answers
// whether an item is on this computer.
std::vector<SpeechModelRow> speechModelRows(const std::string& chosenFile,
                                            const std::function<bool(const ModelStore::Item&)>& present);

// "148 MB", "1.1 GB".
std::string modelSize(std::int64_t bytes);

}  // namespace quorvel
