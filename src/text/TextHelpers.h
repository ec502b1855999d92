// The deterministic text rules around the language-model cleanup: tidying a raw
// transcript, counting words, cutting a transcript into sentence-aligned pieces
// and joining cleaned pieces, the light cleanup used when the model's answer is
// not used, small prose repairs, dash replacement, removal of spoken editing
// commands, and the layout of a dictated one-paragraph e-mail as a letter.
//
// Every function is pure: no state, no I/O, no failure. Text goes in and comes
// out as UTF-8; invalid UTF-8 is read as U+FFFD. Any text of any length gives an
// answer. Offsets inside the rules are UTF-16 code units, as ICU counts them.
//
// Thread safety: every function may be called from any thread at the same time.
// The constant tables and patterns are built once per process and only read.
#pragma once

#include <unicode/regex.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::TextHelpers {

// --- Transcript tidying -----------------------------------------------------

// Raw speech-server output tidied: bracketed tags and parenthesised silence,
// music, inaudible and blank-audio notes removed, whitespace collapsed to single
// spaces, trimmed, and a leading run of dashes removed.
std::string normalize(std::string_view text);

// Sound annotations removed from a raw transcript: labels in (), [] or ** that
// are all capitals or name a sound ("(laughs)", "[MUSIC]"); a label of five or
// more words is speech and stays. Also removes "♪" and a leading dash, collapses
// whitespace runs and trims.
std::string dropSoundLabels(std::string_view text);

// --- Words and sentences ----------------------------------------------------

// Number of maximal runs of non-whitespace characters (Unicode whitespace, line
// breaks included). Empty or all-whitespace text has 0.
int wordCount(std::string_view text);

// The texts between the matches of `separator` in `text`: the text before the
// first match, between each pair of matches, and after the last (n matches give
// n + 1 entries, some possibly empty). No match gives the whole text.
std::vector<std::string> componentsSeparatedBy(std::string_view text,
                                               const icu::RegexPattern& separator);

// The sentences of `text` (split after ".", "!" or "?" followed by whitespace),
// empty ones skipped. A sentence of more than target * 3 / 2 words is cut after
// the comma where its accumulated parts first reach `target` words; the cut keeps
// its comma on the earlier piece.
std::vector<std::string> sentenceList(std::string_view text, int target);

struct SentenceGroups {
  std::vector<std::string> pieces;  // each holds `target` words or more
  std::string rest;                 // sentences left over at the end, "" if none
};

// Consecutive sentences joined with " " until the group holds `target` words or
// more; the group then becomes a piece.
SentenceGroups groupSentences(const std::vector<std::string>& sentences, int target);

// `text` cut into pieces of whole sentences of about `target` words each, so that
// pieces can be cleaned separately. Every piece holds at least `target` words
// except possibly the last; a tail of fewer than target / 3 words is folded into
// the piece before it.
std::vector<std::string> sentencePieces(std::string_view text, int target);

// Cleaned pieces joined back together: each trimmed, empty ones skipped, joined
// with a blank line when either side holds a line feed and a space otherwise.
std::string joinPieces(const std::vector<std::string>& pieces);

// --- Cleanup without the model ----------------------------------------------

// Filler words (um, uh, ah, er, erm, hmm) removed, no space before punctuation,
// whitespace collapsed, trimmed of spaces and tabs, first character upper-cased.
std::string lightClean(std::string_view text);

// Em and en dashes turned into ordinary punctuation: a hyphen between digits, a
// space after a mark, nothing at a line start, ". " before a capital, "." at the
// end, ", " elsewhere. Text without either dash comes back unchanged.
std::string removeDashes(std::string_view text);

// The comma after a greeting word at a line start removed when a name or group
// word follows: "Hi, Anna," becomes "Hi Anna,".
std::string greetingWithoutComma(std::string_view text);

// Prose repairs that leave back-quoted code alone: a single capitalised word
// loses its back-quotes, greeting commas go, and every part outside back-quotes
// goes through fixProse.
std::string sturdyGrammar(std::string_view text);

// Prose repairs on text known to hold no code: no space before punctuation,
// doubled small words once, the pronoun "i" as "I", and sentence starts
// capitalised (except after abbreviations, and except file names, addresses,
// paths, identifiers, shell commands such as "npm" and mixed-case names).
std::string fixProse(std::string_view text);

// --- Spoken commands --------------------------------------------------------

// Spoken sign-off commands removed from the end ("that's it", "and yeah",
// "format this nicely"), repeatedly until none is left; the result ends with
// ".", "!" or "?". A text that is nothing but such a command comes back trimmed
// and otherwise unchanged.
std::string stripClosingCommands(std::string_view text);

// Whole sentences that are editing commands ("scratch that", "make this a
// bulleted list", "new bullet") removed, line by line; list items keep their
// "- " prefix; runs of blank lines collapse to one.
std::string removeLeftoverCommands(std::string_view text);

// --- Letters ----------------------------------------------------------------

// A one-paragraph dictated e-mail laid out as a letter: the greeting line, the
// body, an optional closing paragraph, and the sign-off with the signature on
// its own line, blocks separated by blank lines. nullopt when the text is not
// such an e-mail (it holds a line feed, lacks a greeting or a sign-off in the
// right order, or has an empty body); the caller then keeps its text.
std::optional<std::string> formatLetter(std::string_view text);

// --- Distance ---------------------------------------------------------------

// Edit distance (single-character insertions, deletions and substitutions, each
// costing 1) between the lower-cased texts. Characters are Unicode code points,
// so an emoji or an accented letter counts once.
int levenshtein(std::string_view a, std::string_view b);

}  // namespace quorvel::TextHelpers
