// What the language-model server reports about one request: tokens read and
// written, the time for each, and how many drafted tokens it guessed right.
#pragma once

#include <cstdint>
#include <optional>

#include "support/Json.h"

namespace quorvel {

struct EngineTimings {
  std::int64_t read = 0;          // "prompt_n"
  std::int64_t readMs = 0;        // "prompt_ms", truncated
  std::int64_t wrote = 0;         // "predicted_n"
  std::int64_t writeMs = 0;       // "predicted_ms", truncated
  std::int64_t guessed = 0;       // "draft_n"
  std::int64_t guessedRight = 0;  // "draft_n_accepted"

  // From the server's "timings" member: nothing unless it is an object with an
  // integer "prompt_n"; any other missing or ill-typed counter is 0, and a time
  // that is not a finite number within range is 0.
  static std::optional<EngineTimings> fromJson(const Json& timings);

  // The fixed dictionary form kept in the history file and bank output:
  // read_tokens, read_ms, wrote_tokens, write_ms, guessed, guessed_right.
  Json dict() const;

  bool operator==(const EngineTimings&) const = default;
};

}  // namespace quorvel
