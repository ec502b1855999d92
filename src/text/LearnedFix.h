// The records of one correction the user made to a typed dictation: `Fix` as
// the correction finder reports it, `LearnedFix` as the personal dictionary
// absorbs it. Plain values with their JSON forms.
#pragma once

#include <optional>
#include <string>

#include "support/Json.h"

namespace quorvel {

// One correction: the words as typed (`heard`), the words the user put in
// their place (`meant`), whether the heard form may later be replaced by the
// meant one automatically, and whether the meant form should be learned.
struct Fix {
  std::string heard;
  std::string meant;
  bool replace = false;
  bool learn = true;

  bool operator==(const Fix&) const = default;
};

// A settled correction handed to the personal dictionary. `learn` absent
// counts as true; `dictation` names the dictation it came from, when known.
struct LearnedFix {
  std::string heard;
  std::string meant;
  bool replace = false;
  std::optional<bool> learn = true;
  std::optional<std::string> dictation = std::nullopt;

  bool operator==(const LearnedFix&) const = default;
};

LearnedFix learnedFix(const Fix& fix);

// {"heard", "meant", "replace", "learn"}: all four keys written and required.
Json toJson(const Fix& fix);
std::optional<Fix> fixFromJson(const Json& value);

// {"heard", "meant", "replace"} plus "learn" and "dictation" when present;
// those two may be missing (or null) when read.
Json toJson(const LearnedFix& fix);
std::optional<LearnedFix> learnedFixFromJson(const Json& value);

}  // namespace quorvel
