// The personal-vocabulary and correction-finder functions of the rules
// console. Their requests carry values the plain argument kinds cannot (word
// sets, fixes, a frequency table, a sequence of operations), so they are
// answered here from the whole request line:
//
//   {"fn": "hasWord", "args": ["text", "word"]}            and the other free functions
//   {"fn": "personal", "words": {"dictionary": [...], "aliases": {...},
//    "learned": [...], "recent": [...]}, "ops": [["add", "x"], ["absorb", [fix, ...]], ...]}
//   {"fn": "FixFinder.corrections", "args": ["typed", "now"], "frequency": {"word": 5.1}}
//   {"fn": "Memory.look", "memory": {...}, "looks": [[[fix, ...], "before", "after"], ...]}
//
// FixFinder functions use the shipped word-frequency list unless the request
// gives its own "frequency" object.
#pragma once

#include <optional>

#include "support/Json.h"

namespace quorvel::rules {

// The answer ({"result": ...} or {"error": "..."}) when the request names one
// of these functions; nothing otherwise. Never throws.
std::optional<Json> answerVocabularyRequest(const Json& request);

}  // namespace quorvel::rules
