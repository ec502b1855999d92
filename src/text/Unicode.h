// UTF-16 helpers shared by the text rules: conversion at the UTF-8 boundary,
// constant patterns compiled once, whole-word search, trimming and case mapping.
//
// The rules take and return UTF-8 std::string, and work inside on
// icu::UnicodeString so that offsets, look-behind, \p{L}, \b, \w and "$1"
// templates behave as ICU defines them. Offsets here are UTF-16 code units.
//
// Thread safety: every function is safe to call from any thread at the same
// time. A constant pattern is compiled once (thread-safe static initialisation)
// and only read afterwards; matchers are created per call and never shared.
//
// Always write literals as u"..." when calling these functions: ICU lets a plain
// "..." convert to UnicodeString through the platform code page.
#pragma once

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::unicode {

// --- Conversion -------------------------------------------------------------

// UTF-8 to UTF-16. Invalid sequences become U+FFFD (never a failure). Text longer
// than a UnicodeString can hold (2^31 - 1 units) is cut at a character boundary.
icu::UnicodeString fromUtf8(std::string_view utf8);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string toUtf8(const icu::UnicodeString& text);

// --- Constant patterns ------------------------------------------------------

// Compiles a pattern that is part of the program and keeps it for the life of
// the process. Use it to initialise a function-local static:
//
//   static const icu::RegexPattern& fillers =
//       unicode::constantPattern(uR"re(\b(um+|uh+)\b)re", UREGEX_CASE_INSENSITIVE);
//
// A constant pattern that does not compile is a programming error: the process
// aborts with the pattern and ICU's message on standard error at first use, so
// a test that reaches the pattern fails loudly.
//
// Every call compiles and keeps a new pattern: call it only where the result is
// kept for the life of the process.
const icu::RegexPattern& constantPattern(std::u16string_view source, uint32_t flags = 0);

// The same check for a constant pattern owned by a longer-lived object.
std::unique_ptr<icu::RegexPattern> compileOrAbort(std::u16string_view source, uint32_t flags = 0);

// A fresh matcher over `input`. REQUIRES: `input` outlives the matcher (ICU keeps
// a reference to it). Aborts only when ICU cannot allocate.
std::unique_ptr<icu::RegexMatcher> matcherFor(const icu::RegexPattern& pattern,
                                              const icu::UnicodeString& input);

// Every non-overlapping match, left to right, replaced by `replacement`, where
// "$1", "$2" stand for capture groups (ICU's template syntax).
icu::UnicodeString replaceAll(const icu::RegexPattern& pattern, const icu::UnicodeString& text,
                              const icu::UnicodeString& replacement);

// True when the pattern matches somewhere in `text`.
bool containsMatch(const icu::RegexPattern& pattern, const icu::UnicodeString& text);

// True when the pattern matches the whole of `text` (from its start to its end).
bool matchesWhole(const icu::RegexPattern& pattern, const icu::UnicodeString& text);

// The texts between the matches of `separator`: n matches give n + 1 entries,
// some possibly empty; no match gives the whole text as the only entry.
std::vector<icu::UnicodeString> splitByPattern(const icu::UnicodeString& text,
                                               const icu::RegexPattern& separator);

// --- Literal text and whole words -------------------------------------------

// `literal` as a pattern that matches exactly that text (\Q...\E, with any "\E"
// inside the literal escaped).
icu::UnicodeString quotedForPattern(const icu::UnicodeString& literal);

// The case-insensitive whole-word pattern "\b" + quoted word + "\b". Returns
// nullptr only when ICU cannot allocate. Compile once and reuse when searching
// for the same word in many texts.
std::unique_ptr<icu::RegexPattern> wholeWordPattern(const icu::UnicodeString& word);

// True when `word` occurs in `text` as a whole word, ignoring case.
bool containsWholeWord(const icu::UnicodeString& text, const icu::UnicodeString& word);

// `text` split on every occurrence of the literal `separator` (n occurrences
// give n + 1 parts). An empty separator gives the whole text.
std::vector<icu::UnicodeString> splitLiteral(const icu::UnicodeString& text,
                                             const icu::UnicodeString& separator);

icu::UnicodeString join(const std::vector<icu::UnicodeString>& parts,
                        const icu::UnicodeString& separator);

// Every occurrence of the literal `from` replaced by `to`.
icu::UnicodeString replaceLiteral(const icu::UnicodeString& text, const icu::UnicodeString& from,
                                  const icu::UnicodeString& to);

// --- Character classes and trimming -----------------------------------------

// Unicode White_Space (spaces, tabs, line breaks, NBSP, ...): what separates words.
bool isWhitespace(UChar32 c);

// Spaces and tabs: general category Zs and U+0009.
bool isSpaceOrTab(UChar32 c);

// Whitespace and line breaks: general categories Zs, Zl, Zp, U+0009...U+000D and U+0085.
bool isWhitespaceOrLineBreak(UChar32 c);

// Number of maximal runs of non-whitespace characters.
int countWords(const icu::UnicodeString& text);

icu::UnicodeString trimSpacesAndTabs(const icu::UnicodeString& text);
icu::UnicodeString trimWhitespaceAndLineBreaks(const icu::UnicodeString& text);

// Trims from both ends every character that appears in `characters`.
icu::UnicodeString trimCharacters(const icu::UnicodeString& text, std::u16string_view characters);

// --- Case mapping (root locale, full mappings: "ß" upper-cases to "SS") ----

icu::UnicodeString lowercased(const icu::UnicodeString& text);
icu::UnicodeString uppercased(const icu::UnicodeString& text);

// The first character (code point) replaced by its upper-case form, which may be
// longer than one character; the rest is kept. An empty text stays empty.
icu::UnicodeString withFirstUppercased(const icu::UnicodeString& text);

// --- Cutting without splitting a surrogate pair -----------------------------

// The first at most `maxUnits` code units of `text`, one less when the cut would
// fall inside a surrogate pair.
icu::UnicodeString prefixOfAtMost(const icu::UnicodeString& text, int32_t maxUnits);

// The last at most `maxUnits` code units of `text`, one less when the cut would
// fall inside a surrogate pair.
icu::UnicodeString suffixOfAtMost(const icu::UnicodeString& text, int32_t maxUnits);

}  // namespace quorvel::unicode
