// The guards that decide whether a language model's cleanup may replace the raw
// transcript, and the test that tells whether a transcript needs the model at all.
//
// A small model sometimes answers instead of cleaning, drops half the text,
// invents words, turns "I" into "you", greets the reader or loses a name that
// was said. Each guard compares the two texts with cheap word-level tests; any
// sign of trouble rejects the cleanup and the caller falls back to lightClean.
//
// Every function is pure: text in and out as UTF-8 (invalid UTF-8 is read as
// U+FFFD), no I/O, no exception, an answer for any input. Words are compared
// lower-cased with ICU's root-locale case mapping.
//
// Thread safety: any function may be called from any thread at the same time;
// the word tables and patterns are built once per process and only read.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::TextHelpers {

// --- The whole decision -------------------------------------------------------

// The cleaned text to use in place of `raw`, or nullopt when the cleanup must be
// refused. Dictionary words the model misspelled are put back first
// (restoreDictionaryWords); the result must then be plausible with `minKept`,
// must not hold one of `names` that `raw` cannot have said, and must not drop
// a name that `raw` says (unless the speaker corrected himself).
std::optional<std::string> usableCleanup(std::string_view raw, std::string_view cleaned,
                                         const std::vector<std::string>& names,
                                         const std::vector<std::string>& dictionary,
                                         double minKept = 0.5);

// The checks of usableCleanup on `cleaned` itself, without restoring dictionary
// words: true when the cleanup would be accepted as it stands.
bool cleanupKeeps(std::string_view raw, std::string_view cleaned,
                  const std::vector<std::string>& names, double minKept = 0.5);

// --- Plausibility ---------------------------------------------------------------

// True when `cleaned` looks like a cleanup of `raw`: a word count within
// [0.4 r, 1.35 r + 3] and at least 1, no reply opening ("sure", "here is", ...),
// a kept share of raw's content words of at least `minKept`, no invented words
// and no change of meaning.
bool plausible(std::string_view raw, std::string_view cleaned, double minKept = 0.65);

// The share (0...1) of raw's content words that are also content words of
// `cleaned`; 1 when raw has none.
double keptRatio(std::string_view raw, std::string_view cleaned);

// Content words of `cleaned` that raw cannot account for: not a token of raw nor
// two or three neighbouring tokens run together ("note book" knows "notebook"),
// not sharing a stem with one, and not within a small edit distance of one.
// Lower-cased.
std::set<std::string> inventedWords(std::string_view raw, std::string_view cleaned);

// True when at least 2 content words of `cleaned`, and at least a quarter of
// them, are invented.
bool inventsWords(std::string_view raw, std::string_view cleaned);

// True when the cleanup greets the reader with a greeting raw does not hold
// ("Hi! Thanks ..."), or loses a grammatical person that raw uses (raw says
// "I", the cleanup only "you"). Adding a person is allowed.
bool changesMeaning(std::string_view raw, std::string_view cleaned);

// --- Names ----------------------------------------------------------------------

// True when one of `names` occurs in `text` as a whole word although `said`
// cannot have said it (mightBeSaid is false).
bool addsNames(std::string_view text, std::string_view said, const std::vector<std::string>& names);

// True when one of `names` occurs in `said` as a whole word but not in `text`;
// always false when `said` holds a correction phrase ("no wait", "actually",
// "i mean", ...), since the speaker may have taken the name back.
bool dropsNames(std::string_view text, std::string_view said, const std::vector<std::string>& names);

// --- Words ----------------------------------------------------------------------

// True when the transcript shows disfluencies that make a model pass worthwhile:
// fillers, spoken corrections, "you know", "like,", "list", "new line", a doubled
// word, or more than two commas.
bool needsCleanup(std::string_view text);

// The lower-cased tokens (maximal runs of letters and numbers) of at least four
// characters that are not common words ("that", "would", "actually", ...).
std::set<std::string> contentWords(std::string_view text);

// `word` without its first matching suffix among "ingly", "edly", "ings", "ing",
// "ied", "ies", "ed", "es", "s", "ly", "er" (only when more than two characters
// remain), then without a final "e" when at least four characters remain.
// The word is used as given; callers pass it lower-cased.
std::string wordStem(std::string_view word);

}  // namespace quorvel::TextHelpers
