// Fitting a finished dictation to the text around the cursor: a space in front
// when the text before needs one, no capital when the dictation continues a
// sentence, a space behind before a following word, no doubled full stop; and
// the final full stop of chat messages, with the checks that tell whether the
// user later added or removed one.
//
// Every function is pure: no state, no I/O, no failure. Text goes in and comes
// out as UTF-8; invalid UTF-8 is read as U+FFFD. A "character" here is what the
// user sees as one (a grapheme cluster: an emoji, or a letter with its accents),
// so nothing is ever cut inside a surrogate pair or between a letter and its
// combining marks. Safe to call from any thread at the same time.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "text/CursorContext.h"

namespace quorvel::TextHelpers {

// The fitted text and what was done to it.
//
// `note` is "none" when there was nothing to fit (an empty text, or no
// context), "plain" when nothing changed, otherwise the steps taken joined with
// "+" in the order they happened, from "space" (a space put in front), "lower"
// (the first word lower-cased), "space-after" (a space appended before a
// following word) and "no-double-stop" (the final ".", "!" or "?" removed
// before a following mark).
struct FittedText {
  std::string text;
  std::string note;

  bool operator==(const FittedText&) const = default;
};

// The words that may lose their capital when the dictation continues a
// sentence: articles, conjunctions, pronouns, auxiliaries and other small
// words. Lower case, straight apostrophes. Built once.
const std::set<std::string>& continuationWords();

// `text` fitted between `before` and `after` (the field's text before and after
// the cursor):
//  - after a letter, a number, ")", "," or ";" the dictation continues a
//    sentence, and a first word from continuationWords() loses its capital
//    (the pronoun "I" and its contractions never do; other words, names
//    included, keep theirs);
//  - a space goes in front unless `before` ends in a space or tab, in a line
//    break, or in an opening character (quotes, brackets, "/", dashes, "@",
//    "#", "$"); a blank `before` gets nothing;
//  - a letter or number right after the cursor gets a space appended; a
//    following ".", "!", "?", ",", ";" or ":" removes a final ".", "!" or "?".
FittedText fitText(std::string_view text, std::string_view before, std::string_view after);

// fitText with the context's before and after; without a context, the text
// unchanged with the note "none".
FittedText fitToContext(std::string_view text, const std::optional<CursorContext>& context);

// `text` without its final full stop, for chat messages. The full stop stays
// when the text ends in "..", is a bulleted list, ends in an abbreviation
// ("p.m.", "etc.", ...) or in a last word that holds another full stop
// ("U.S.", "notes.txt.", "v1.2."). Only that one "." goes; everything else,
// trailing whitespace included, is kept.
std::string dropFinalPeriod(std::string_view text);

// Whether the user added a full stop after a dictation typed without one:
// `typed` (trimmed) is at least two characters, does not end in ".", "!", "?"
// or "…", and `now` (the field's text now) holds it followed by ".".
bool addedFinalPeriod(std::string_view typed, std::string_view now);

// Whether the user removed the final full stop of a dictation typed with one:
// `typed` (trimmed) is more than two characters and ends in a single ".", `now`
// no longer holds it, and the last place where `now` holds it without its full
// stop is followed only by spaces or tabs up to a line break or the end.
bool removedFinalPeriod(std::string_view typed, std::string_view now);

}  // namespace quorvel::TextHelpers
