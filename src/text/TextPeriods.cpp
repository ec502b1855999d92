// The chat full-stop preference on the user defaults.
#include "text/TextPeriods.h"

#include <limits>
#include <string>

#include "support/Log.h"

namespace quorvel::TextPeriods {
namespace {

bool storedOn(const Json& object) {
  const auto it = object.find(Settings::textPeriodsOn.key);
  return it != object.end() && it->is_boolean() && it->get<bool>();
}

long long storedVotes(const Json& object) {
  const auto it = object.find(Settings::textPeriodsVotes.key);
  if (it == object.end()) return 0;
  if (it->is_number_unsigned()) {
    const auto votes = it->get<unsigned long long>();
    constexpr auto kMax = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    return votes > kMax ? std::numeric_limits<long long>::max() : static_cast<long long>(votes);
  }
  if (it->is_number_integer()) return it->get<long long>();
  return 0;
}

}  // namespace

bool on(const UserDefaults& store) { return Settings::textPeriodsOn.read(store); }

Status userChanged(UserDefaults& store, bool added) {
  Status written = store.update([added](Json& object) {
    const bool current = storedOn(object);
    long long votes = storedVotes(object);
    if (added == current) {
      votes = 0;
    } else {
      if (votes < std::numeric_limits<long long>::max()) ++votes;
      if (votes > 1) {
        object[Settings::textPeriodsOn.key] = added;
        votes = 0;
      }
    }
    object[Settings::textPeriodsVotes.key] = votes;
  });
  if (!written) {
    logLine("Quorvel: could not record the full-stop preference: " + written.error());
  }
  return written;
}

}  // namespace quorvel::TextPeriods
