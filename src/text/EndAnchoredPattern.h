// Removal of the matches of a pattern anchored at the end of the text ("...\s*$")
// without running it from every position of a long text.
#pragma once

#include "text/RulePatterns.h"

#include <unicode/regex.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>

#include <memory>

namespace quorvel::TextHelpers {

// A constant pattern whose every match ends at the end of the text, together
// with the set of characters a match can be made of (its literal characters
// under case folding, and whitespace). Any match lies inside the longest tail of
// the text made only of those characters, so the pattern is run on that tail
// alone (look-behind still sees the text before it). The result is exactly that
// of replacing every match in the whole text by "".
//
// REQUIRES: the pattern ends in "$" outside any group alternative, and matches
// characters only through literals, classes of literals and "\s": no "." wildcard,
// no "\w", "\d", "\p{...}" or negated class. The constructor aborts otherwise
// (a programming error), so a test that builds the object catches it.
//
// A match is tried only where one can begin first: when the pattern opens
// with a greedy run of a class ("[\s,.]*" or "\s*", possibly after a
// look-behind), a position inside such a run is skipped, because the run's
// first position matches whatever a later one would. So long runs of spaces
// or full stops cost linear time, not quadratic.
//
// Thread safety: immutable after construction; removeMatches may be called from
// any thread at the same time.
class EndAnchoredPattern {
 public:
  explicit EndAnchoredPattern(const patterns::PatternSource& source);
  EndAnchoredPattern(const EndAnchoredPattern&) = delete;
  EndAnchoredPattern& operator=(const EndAnchoredPattern&) = delete;

  // `text` with every match of the pattern removed.
  icu::UnicodeString removeMatches(const icu::UnicodeString& text) const;

  // Start of the longest tail of `text` made only of characters a match can hold.
  int32_t tailStart(const icu::UnicodeString& text) const;

 private:
  bool mayBelongToMatch(UChar32 c) const;

  std::unique_ptr<icu::RegexPattern> pattern_;
  icu::UnicodeSet alphabet_;
  // The characters of the opening greedy run (empty when there is none).
  icu::UnicodeSet openingRun_;
};

}  // namespace quorvel::TextHelpers
