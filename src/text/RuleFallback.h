// Keeps exceptions inside a text rule: the rules answer every input, and the
// only exception they can meet is an allocation failure on absurd input, where
// the rule's safe answer (usually the text unchanged, or a refusal) is given.
// Internal to src/text.
#pragma once

#include <utility>

namespace quorvel::TextHelpers {

template <class T, class Rule>
T answerOr(T fallback, Rule&& rule) noexcept {
  try {
    return std::forward<Rule>(rule)();
  } catch (...) {
    return fallback;
  }
}

}  // namespace quorvel::TextHelpers
