// Reads the language-model server's timing counters.
#include "engine/EngineTimings.h"

#include <cmath>

namespace quorvel {
namespace {

std::int64_t counter(const Json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) return 0;
  return it->get<std::int64_t>();
}

// A duration in milliseconds given as a decimal number, truncated towards zero.
std::int64_t milliseconds(const Json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_number()) return 0;
  if (it->is_number_integer()) return it->get<std::int64_t>();
  const double value = it->get<double>();
  // Outside this range the conversion would be undefined; such a value is nonsense.
  if (!std::isfinite(value) || value >= 9.2e18 || value <= -9.2e18) return 0;
  return static_cast<std::int64_t>(value);
}

}  // namespace

std::optional<EngineTimings> EngineTimings::fromJson(const Json& timings) {
  if (!timings.is_object()) return std::nullopt;
  auto promptCount = timings.find("prompt_n");
  if (promptCount == timings.end() || !promptCount->is_number_integer()) return std::nullopt;
  EngineTimings result;
  result.read = promptCount->get<std::int64_t>();
  result.readMs = milliseconds(timings, "prompt_ms");
  result.wrote = counter(timings, "predicted_n");
  result.writeMs = milliseconds(timings, "predicted_ms");
  result.guessed = counter(timings, "draft_n");
  result.guessedRight = counter(timings, "draft_n_accepted");
  return result;
}

Json EngineTimings::dict() const {
  return Json{{"read_tokens", read},  {"read_ms", readMs},  {"wrote_tokens", wrote},
              {"write_ms", writeMs}, {"guessed", guessed}, {"guessed_right", guessedRight}};
}

}  // namespace quorvel
