// The source text of every constant pattern the text rules use, in one place so
// each can be read against the rule it serves, compiled by the tests, and reused
// by the straightforward reference implementation the tests and benchmarks keep.
//
// The rules compile each pattern once per process (unicode::constantPattern in a
// function-local static). Internal to src/text and its tests.
#pragma once

#include "text/Unicode.h"

#include <unicode/regex.h>

#include <array>
#include <cstdint>
#include <string_view>

namespace quorvel::TextHelpers::patterns {

struct PatternSource {
  std::u16string_view source;
  uint32_t flags = 0;
};

// --- Raw transcripts --------------------------------------------------------

// Bracketed tags and parenthesised silence, music, inaudible or blank-audio notes.
inline constexpr PatternSource kTranscriptTags{
    uR"re(\[[^\]]*\]|\((?:silence|music|inaudible|blank_audio)[^)]*\))re", UREGEX_CASE_INSENSITIVE};
inline constexpr PatternSource kWhitespace{uR"re(\s+)re"};
inline constexpr PatternSource kLeadingDashes{uR"re(^[-–—]+\s*)re"};

// A label in (), [] or ** of 2 to 39 letters, spaces, apostrophes or underscores.
// A match never begins inside a run of white space (the run's first position,
// or where the search resumed, takes it): saying so spares the engine a pass
// over the rest of the run from every one of its positions.
inline constexpr PatternSource kSoundLabel{
    uR"re((?:\G|(?<!\s))\s*[\(\[\*]([A-Za-z][A-Za-z_' ]{1,38})[\)\]\*]\s*(?:-\s+)?)re"};
inline constexpr PatternSource kLeadingDash{uR"re(^\s*-\s+)re"};
inline constexpr PatternSource kWhitespaceRuns{uR"re(\s{2,})re"};

// --- Sentences --------------------------------------------------------------

// Whitespace after a sentence mark; the mark stays with its sentence.
inline constexpr PatternSource kSentenceBreak{uR"re((?<=[.!?])\s+)re"};

// A word, a sentence mark, and the capitalised word and two more words that
// open the next sentence. A match starts where a word starts or where the
// search resumed (the end of the last match, after a word): from inside a
// word it would only repeat the attempt made at the word's start.
inline constexpr PatternSource kBreakPlace{
    uR"re((?:\G|(?<![\p{L}\p{N}']))([\p{L}\p{N}']+)[.!?][ \t]+([A-Z][\p{L}']*)[ \t]+([\p{L}\p{N}']+)[ \t]+([\p{L}\p{N}']+))re"};

// --- Light cleanup ----------------------------------------------------------

inline constexpr PatternSource kFillerWords{uR"re(\b(um+|uh+|ah+|erm?|hmm+)\b[,.]?\s*)re",
                                            UREGEX_CASE_INSENSITIVE};
// (Never from inside a run of white space, as with kSoundLabel.)
inline constexpr PatternSource kSpaceBeforeMark{uR"re((?:\G|(?<!\s))\s+([,.?!]))re"};

// --- Dashes, in the order they are applied ----------------------------------

inline constexpr PatternSource kDashNumberRange{uR"re((\d)\s*[—–]\s*(\d))re"};
inline constexpr PatternSource kDashAfterMark{uR"re((?<=[.!?,;:])\s*[—–]\s*)re"};
inline constexpr PatternSource kDashAtLineStart{uR"re((?m)^\s*[—–]\s*)re"};
inline constexpr PatternSource kDashBeforeCapital{uR"re(\s*[—–]\s*(?=[A-Z]))re"};
inline constexpr PatternSource kDashAtEnd{uR"re(\s*[—–]\s*$)re"};
inline constexpr PatternSource kAnyDash{uR"re(\s*[—–]\s*)re"};
inline constexpr PatternSource kCommaBeforeMark{uR"re(,\s*([.!?;:]))re"};
inline constexpr PatternSource kSpaceRuns{uR"re([ \t]{2,})re"};

// --- Prose ------------------------------------------------------------------

// "Hi, Anna" at a line start: the greeting word and the name or group word.
inline constexpr PatternSource kGreetingComma{
    uR"re((?m)^(Hi|Hey|Hello|Hiya|Yo|Howdy), +((?:(?:Dr|Mr|Mrs|Ms|Mx|Prof)\.? )?[A-Z][\w'’-]*(?: [A-Z][\w'’-]*)?|team|everyone|all|folks|guys)(?=[,.!]|$))re"};
// A single capitalised word in back-quotes is prose, not code.
inline constexpr PatternSource kQuotedName{uR"re(`([A-Z][a-z]+)`)re"};
inline constexpr PatternSource kSpaceBeforeProseMark{
    uR"re((?<=\w)[ \t]+([,;:?!.])(?=\s|$))re"};
inline constexpr PatternSource kDoubledSmallWord{
    uR"re((?i)\b(the|a|an|to|it|i|and|of|in|on|we|you|but|for|with|at|my|our|your|they|was|are|be)\s+\1\b)re"};
inline constexpr PatternSource kPronounI{
    uR"re((?<![\w'.@/-])i(?=$|[\s,;:!?]|\.(?!e\.)|['’](m|ll|ve|d)\b))re"};
// A sentence mark, an optional closing quote or bracket, whitespace, and a
// lower-case letter next.
inline constexpr PatternSource kSentenceEnd{uR"re([.!?]["')\]]?\s+(?=[a-z]))re"};

// --- Spoken commands --------------------------------------------------------

// Sign-off commands at the very end of a dictation, removed in this order.
inline constexpr std::array<PatternSource, 4> kClosingCommands = {{
    {uR"re((?i)[\s,.]*(okay[,.]?\s*)?that'?s it[.!,]?\s*$)re"},
    {uR"re((?i)(?<=[.!?])\s*(and|so|but),?\s+yeah[.!,]*\s*$)re"},
    {uR"re((?i),\s*(and|so|but),?\s+yeah[.!,]*\s*$)re"},
    {uR"re((?i)[\s,.]*((let'?s|please|can you|now)\s+)?(format|clean|tidy)\s+(this|that|it|everything)(\s+up)?(\s+(cleanly|nicely|properly|up))?[.!]?\s*$)re"},
}};

// One sentence that is an editing command the model should have carried out.
inline constexpr PatternSource kLeftoverCommand{
    uR"re((?i)^(-\s*)?(oh,?\s*)?(actually,?\s*)?(scratch|delete|forget) that( last (part|one|bit|line))?[.!]?$|^(-\s*)?that'?s it[.!]?$|^(-\s*)?((let'?s|please)\s+)?(format|clean) (this|that|it)( up)?( cleanly| nicely)?[.!]?$|^(-\s*)?((can you|please|let'?s)\s+)?((make|put|turn) (that|this|these|it|them) (into |in )?(a )?(bulleted )?list|make a (bulleted )?list|bullet(ed)? points?|(next|new) bullet)[.!:]?$)re"};
inline constexpr PatternSource kBlankLineRuns{uR"re(\n{3,})re"};

// --- Letters ----------------------------------------------------------------

inline constexpr PatternSource kLetterGreeting{
    uR"re(^((?i:hi|hey|hello|dear|good (?:morning|afternoon|evening)))(?: there)?[ ,]+((?:(?:Dr|Mr|Mrs|Ms|Mx|Prof)\.? )?[A-Z][\w'’-]*(?: [A-Z][\w'’-]*)?|(?i:team|everyone|all|folks|guys))[,.!]?\s+)re"};
inline constexpr PatternSource kLetterSignOff{
    uR"re([.!?]?\s+((?i:best(?: regards| wishes)?|kind regards|warm regards|regards|thanks(?: again| so much)?|thank you|cheers|sincerely|all the best|talk soon|take care))[,.!]?\s+([A-Z][\w'’-]*(?: [A-Z][\w'’-]*)?)[.!]?\s*$)re"};

// Every pattern above, so the tests can compile each one.
inline constexpr PatternSource kAll[] = {
    kTranscriptTags, kWhitespace, kLeadingDashes, kSoundLabel, kLeadingDash, kWhitespaceRuns,
    kSentenceBreak, kBreakPlace, kFillerWords, kSpaceBeforeMark, kDashNumberRange, kDashAfterMark,
    kDashAtLineStart, kDashBeforeCapital, kDashAtEnd, kAnyDash, kCommaBeforeMark, kSpaceRuns,
    kGreetingComma, kQuotedName, kSpaceBeforeProseMark, kDoubledSmallWord, kPronounI,
    kSentenceEnd, kClosingCommands[0], kClosingCommands[1], kClosingCommands[2],
    kClosingCommands[3], kLeftoverCommand, kBlankLineRuns, kLetterGreeting, kLetterSignOff,
};

// The pattern compiled once per process and shared read-only; see
// unicode::constantPattern for what happens if it does not compile.
template <const PatternSource& Source>
const icu::RegexPattern& compiled() {
  static const icu::RegexPattern& pattern = unicode::constantPattern(Source.source, Source.flags);
  return pattern;
}

}  // namespace quorvel::TextHelpers::patterns
