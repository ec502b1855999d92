// How fast the language model writes on this machine, as a running figure
// kept in the user defaults ("writingSpeed"), and the choice it drives: a slow
// writer finishes long dictations from the pieces cleaned while the user
// talked instead of writing the whole text again after the release.
//
// Threading: the plain value is not shared; note() and stored() may be called
// from any thread (the defaults file is changed under its lock). The pipeline
// collects a dictation's requests and notes them together once it is finished.
#pragma once

#include <optional>
#include <vector>

#include "engine/ConfigRules.h"
#include "engine/EngineTimings.h"
#include "support/Json.h"

namespace quorvel {

struct WritingSpeed {
  // Below this many tokens a second, the model counts as a slow writer.
  static constexpr double slowBelow = 60;
  // The figure says nothing until it covers this many written tokens, so no
  // single short request decides.
  static constexpr double enoughTokens = 32;
  // Older requests fade once the figure covers more than this, so it follows a
  // machine whose model moves to a faster chip.
  static constexpr double remembered = 2000;

  double tokens = 0;  // tokens written, counted
  double ms = 0;      // milliseconds spent writing them

  // With one more request counted. A request that wrote fewer than two tokens
  // measured no writing (its one token comes with the prompt), and one
  // reporting no writing time measured nothing: both leave the figure as it is.
  WritingSpeed adding(const EngineTimings& timings) const;
  // Tokens a second, once the figure covers enough tokens.
  std::optional<double> tokensPerSecond() const;

  // {"tokens": N, "ms": M}; anything else reads as no figure.
  Json toJson() const;
  static WritingSpeed fromJson(const std::optional<Json>& stored);

  // With the requests counted in order.
  WritingSpeed adding(const std::vector<EngineTimings>& requests) const;

  // The figure kept in the user defaults, and requests added to it in order
  // in one write (none when no request measured any writing).
  static WritingSpeed stored();
  static void note(const std::vector<EngineTimings>& requests);
};

// Whether a long dictation is finished fast: as set when on or off; when
// automatic, only on a measured slow writer (no figure yet: the whole text).
bool fastFinishChosen(FastFinishSetting setting, std::optional<double> tokensPerSecond);

}  // namespace quorvel
