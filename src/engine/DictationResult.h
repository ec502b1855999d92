// The outcome of one dictation through the engine, with the way its text was made.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/EngineTimings.h"

namespace quorvel {

struct DictationResult {
  std::string raw;        // the transcript given to finish
  std::string final;      // the finished text to type
  // "empty", "raw", "fast", "cleaned[, dictionary word restored][, dropped
  // sentence restored][, sentence break restored]", "fallback", "cleaned in N
  // pieces[, K fell back]" or "fallback (N pieces)", the piece forms possibly
  // ending in ", A while talking".
  std::string path;
  std::int64_t speechMs = 0;   // filled in by the caller
  std::int64_t cleanupMs = 0;  // time spent in cleanup requests
  std::int64_t chunks = 1;     // recorded pieces; filled in by the caller
  std::string model;           // "trained" or "standard"
  std::int64_t aheadPieces = 0;  // pieces cleaned while the user talked, reused
  bool warmed = false;           // talk-ahead warmed the model before release
  std::optional<EngineTimings> timings;  // of the whole-text cleanup request
};

// What talk-ahead hands over at release: the transcript it cleaned (source),
// the cleaned pieces, how many of them fell back, and the context they were
// cleaned with.
struct TalkAheadHead {
  std::string source;
  std::vector<std::string> cleaned;
  std::int64_t fellBack = 0;
  std::optional<std::string> before;
  std::optional<std::string> field;
  bool warmed = false;
};

}  // namespace quorvel
