// Small helpers shared by the audio tests: synthetic signals and a scoped
// setting of the program-wide edge-trimming switch.
#pragma once

#include <cstdint>
#include <random>

#include "audio/Samples.h"
#include "support/ProgramValues.h"

namespace quorvel::testing {

// Sets trimPieceEdges() for the scope and puts the old value back.
class ScopedTrim {
 public:
  explicit ScopedTrim(bool on) : previous_(trimPieceEdges().exchange(on)) {}
  ~ScopedTrim() { trimPieceEdges().store(previous_); }
  ScopedTrim(const ScopedTrim&) = delete;
  ScopedTrim& operator=(const ScopedTrim&) = delete;

 private:
  bool previous_;
};

// `count` samples of white noise, uniform in [-amplitude, amplitude].
inline Samples noise(std::size_t count, int amplitude, std::uint32_t seed = 7) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> value(-amplitude, amplitude);
  Samples out(count);
  for (auto& sample : out) sample = static_cast<std::int16_t>(value(random));
  return out;
}

inline void append(Samples& to, const Samples& more) { to.insert(to.end(), more.begin(), more.end()); }

inline Samples constant(std::size_t count, std::int16_t value) { return Samples(count, value); }

}  // namespace quorvel::testing
