// Restorers: put back what an accepted cleanup lost of the raw transcript (the
// source) — a whole sentence, the exact spelling of a dictionary word, or a
// sentence break the model merged with a comma or an "and".
//
// Each change needs a clear, unambiguous match; anything that may have been an
// edit the speaker asked for (a spoken correction, a list, a command) is left
// alone. When nothing is restored the cleaned text comes back unchanged, so a
// caller detects a restoration by comparing the texts.
//
// Every function is pure: text in and out as UTF-8 (invalid UTF-8 is read as
// U+FFFD), no I/O, no exception, an answer for any input. Positions are UTF-16
// offsets.
//
// Thread safety: any function may be called from any thread at the same time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::TextHelpers {

// Source sentences the cleanup dropped, re-inserted (light-cleaned, with a final
// full stop) after the sentence that holds the last word aligned before them.
// A sentence is restored only when it has at least four words (fillers aside),
// hardly any of them survive in the cleanup, it holds no spoken command
// ("format", "list", "new line", ...), and neither it nor a neighbour is a
// self-correction ("wait", "scratch that", "I mean", a cut-off word-, ...).
// A cleanup laid out as a bulleted list is never changed.
std::string restoreDroppedSentences(std::string_view source, std::string_view cleaned);

// Dictionary words the source says more often (whole words, ignoring case) than
// the cleanup, put back as written in the dictionary in place of the cleaned
// words that stand where the source said them ("Cooper Nettie's" becomes
// "Kubernetes"), when the words aligned on both sides pin that place down.
std::string restoreDictionaryWords(std::string_view source, std::string_view cleaned,
                                   const std::vector<std::string>& dictionary);

// Sentence breaks of the source that the cleanup merged ("report, then we" or
// "report and then we" where the source says "report. Then we") split again,
// when the source's next sentence starts with a common sentence opener, the
// sentence in progress has at least three words before the break, and the
// merged place occurs exactly once in the cleanup.
std::string restoreSentenceBreaks(std::string_view source, std::string_view cleaned);

// --- Limits -------------------------------------------------------------------

// The word alignment behind the first two restorers keeps one bit per pair of
// source and cleaned words. Above this many pairs (about 11,500 words on each
// side, 16 MiB) the texts are not aligned and both restorers leave the cleaned
// text unchanged.
inline constexpr std::size_t kMaxAlignedWordPairs = std::size_t{1} << 27;

// Bytes the alignment of texts with these word counts holds while it runs.
std::size_t alignmentBytes(std::size_t sourceWords, std::size_t cleanedWords);

}  // namespace quorvel::TextHelpers
