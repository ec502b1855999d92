// The language model's running writing speed and the fast-finish choice.
#include "engine/WritingSpeed.h"

#include <algorithm>
#include <cmath>

#include "support/Log.h"
#include "support/Settings.h"

namespace quorvel {

namespace {

constexpr const char* kKey = Settings::writingSpeed.key;

}  // namespace

WritingSpeed WritingSpeed::adding(const EngineTimings& timings) const {
  if (timings.wrote < 2 || timings.writeMs <= 0) return *this;
  WritingSpeed sum{tokens + static_cast<double>(timings.wrote), ms + static_cast<double>(timings.writeMs)};
  if (sum.tokens > remembered) {
    const double keep = remembered / sum.tokens;
    sum.tokens *= keep;
    sum.ms *= keep;
  }
  return sum;
}

WritingSpeed WritingSpeed::adding(const std::vector<EngineTimings>& requests) const {
  WritingSpeed sum = *this;
  for (const EngineTimings& timings : requests) sum = sum.adding(timings);
  return sum;
}

std::optional<double> WritingSpeed::tokensPerSecond() const {
  if (tokens < enoughTokens || ms <= 0) return std::nullopt;
  return tokens * 1000.0 / ms;
}

Json WritingSpeed::toJson() const { return Json{{"tokens", tokens}, {"ms", ms}}; }

WritingSpeed WritingSpeed::fromJson(const std::optional<Json>& stored) {
  if (!stored || !stored->is_object()) return {};
  const auto number = [&stored](const char* key) -> std::optional<double> {
    const auto found = stored->find(key);
    if (found == stored->end() || !found->is_number()) return std::nullopt;
    const double value = found->get<double>();
    if (!std::isfinite(value) || value < 0) return std::nullopt;
    return value;
  };
  const auto tokens = number("tokens"), ms = number("ms");
  if (!tokens || !ms) return {};
  return {*tokens, *ms};
}

WritingSpeed WritingSpeed::stored() { return fromJson(UserDefaults().value(kKey)); }

void WritingSpeed::note(const std::vector<EngineTimings>& requests) {
  const bool counts = std::any_of(requests.begin(), requests.end(), [](const EngineTimings& timings) {
    return WritingSpeed{}.adding(timings).tokens > 0;
  });
  if (!counts) return;  // nothing to count: no write
  const Status saved = UserDefaults().update([&requests](Json& object) {
    const auto found = object.find(kKey);
    const WritingSpeed before =
        fromJson(found == object.end() ? std::nullopt : std::optional<Json>(*found));
    object[kKey] = before.adding(requests).toJson();
  });
  if (!saved.ok()) logLine("Quorvel: the writing speed was not saved (" + saved.error() + ")");
}

bool fastFinishChosen(FastFinishSetting setting, std::optional<double> tokensPerSecond) {
  switch (setting) {
    case FastFinishSetting::on:
      return true;
    case FastFinishSetting::off:
      return false;
    case FastFinishSetting::automatic:
      return tokensPerSecond && *tokensPerSecond < WritingSpeed::slowBelow;
  }
  return false;
}

}  // namespace quorvel
