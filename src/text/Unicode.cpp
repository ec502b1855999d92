// UTF-16 helpers for the text rules: conversion, constant patterns, trimming, case.
#include "text/Unicode.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace quorvel::unicode {
namespace {

[[noreturn]] void abortWithPattern(std::u16string_view source, UErrorCode status,
                                   const char* what) {
  std::string utf8;
  icu::UnicodeString(source.data(), static_cast<int32_t>(source.size())).toUTF8String(utf8);
  std::fprintf(stderr, "quorvel: %s: %s (pattern: %s)\n", what, u_errorName(status), utf8.c_str());
  std::abort();
}

// Largest UTF-8 prefix length <= limit that does not end inside a sequence.
size_t utf8BoundaryAtOrBefore(std::string_view utf8, size_t limit) {
  size_t end = limit;
  // Step back over at most three continuation bytes to the start of a sequence.
  for (int k = 0; k < 3 && end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80;
       ++k) {
    --end;
  }
  return end;
}

}  // namespace

icu::UnicodeString fromUtf8(std::string_view utf8) {
  // A UnicodeString holds at most INT32_MAX units; UTF-8 never needs more units
  // than bytes, so a byte count within that limit always fits.
  constexpr size_t kMaxBytes = static_cast<size_t>(INT32_MAX) - 16;
  if (utf8.size() > kMaxBytes) utf8 = utf8.substr(0, utf8BoundaryAtOrBefore(utf8, kMaxBytes));
  // ICU replaces every ill-formed sequence with U+FFFD.
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  if (text.isBogus()) return {};
  return text;
}

std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

std::unique_ptr<icu::RegexPattern> compileOrAbort(std::u16string_view source, uint32_t flags) {
  UParseError parseError{};
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString pattern(source.data(), static_cast<int32_t>(source.size()));
  std::unique_ptr<icu::RegexPattern> compiled(
      icu::RegexPattern::compile(pattern, flags, parseError, status));
  if (U_FAILURE(status) || compiled == nullptr) {
    abortWithPattern(source, status, "constant pattern does not compile");
  }
  return compiled;
}

const icu::RegexPattern& constantPattern(std::u16string_view source, uint32_t flags) {
  // Kept for the life of the process on purpose: callers hold it in a static.
  return *compileOrAbort(source, flags).release();
}

std::unique_ptr<icu::RegexMatcher> matcherFor(const icu::RegexPattern& pattern,
                                              const icu::UnicodeString& input) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(input, status));
  if (U_FAILURE(status) || matcher == nullptr) {
    abortWithPattern(std::u16string_view(pattern.pattern().getBuffer(),
                                         static_cast<size_t>(pattern.pattern().length())),
                     status, "cannot create a matcher");
  }
  return matcher;
}

icu::UnicodeString replaceAll(const icu::RegexPattern& pattern, const icu::UnicodeString& text,
                              const icu::UnicodeString& replacement) {
  auto matcher = matcherFor(pattern, text);
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString result = matcher->replaceAll(replacement, status);
  // Replacement templates are constants of the program; a bad one is a bug.
  if (U_FAILURE(status)) {
    abortWithPattern(std::u16string_view(replacement.getBuffer(),
                                         static_cast<size_t>(replacement.length())),
                     status, "replacement template failed");
  }
  return result;
}

bool containsMatch(const icu::RegexPattern& pattern, const icu::UnicodeString& text) {
  auto matcher = matcherFor(pattern, text);
  return matcher->find();
}

bool matchesWhole(const icu::RegexPattern& pattern, const icu::UnicodeString& text) {
  auto matcher = matcherFor(pattern, text);
  UErrorCode status = U_ZERO_ERROR;
  const bool matched = matcher->matches(status);
  return U_SUCCESS(status) && matched;
}

std::vector<icu::UnicodeString> splitByPattern(const icu::UnicodeString& text,
                                               const icu::RegexPattern& separator) {
  std::vector<icu::UnicodeString> parts;
  auto matcher = matcherFor(separator, text);
  int32_t previousEnd = 0;
  UErrorCode status = U_ZERO_ERROR;
  while (matcher->find()) {
    const int32_t start = matcher->start(status);
    const int32_t end = matcher->end(status);
    parts.emplace_back(text, previousEnd, start - previousEnd);
    previousEnd = end;
  }
  parts.emplace_back(text, previousEnd, text.length() - previousEnd);
  return parts;
}

icu::UnicodeString quotedForPattern(const icu::UnicodeString& literal) {
  // Inside \Q...\E only "\E" is special; close the quote around it and reopen.
  icu::UnicodeString quoted(u"\\Q");
  quoted += replaceLiteral(literal, icu::UnicodeString(u"\\E"), icu::UnicodeString(u"\\E\\\\E\\Q"));
  quoted += u"\\E";
  return quoted;
}

std::unique_ptr<icu::RegexPattern> wholeWordPattern(const icu::UnicodeString& word) {
  icu::UnicodeString source(u"\\b");
  source += quotedForPattern(word);
  source += u"\\b";
  UParseError parseError{};
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexPattern> pattern(
      icu::RegexPattern::compile(source, UREGEX_CASE_INSENSITIVE, parseError, status));
  if (U_FAILURE(status)) return nullptr;
  return pattern;
}

bool containsWholeWord(const icu::UnicodeString& text, const icu::UnicodeString& word) {
  const auto pattern = wholeWordPattern(word);
  return pattern != nullptr && containsMatch(*pattern, text);
}

std::vector<icu::UnicodeString> splitLiteral(const icu::UnicodeString& text,
                                             const icu::UnicodeString& separator) {
  std::vector<icu::UnicodeString> parts;
  if (separator.isEmpty()) {
    parts.push_back(text);
    return parts;
  }
  int32_t start = 0;
  while (true) {
    const int32_t found = text.indexOf(separator, start);
    if (found < 0) break;
    parts.emplace_back(text, start, found - start);
    start = found + separator.length();
  }
  parts.emplace_back(text, start, text.length() - start);
  return parts;
}

icu::UnicodeString join(const std::vector<icu::UnicodeString>& parts,
                        const icu::UnicodeString& separator) {
  icu::UnicodeString joined;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) joined += separator;
    joined += parts[i];
  }
  return joined;
}

icu::UnicodeString replaceLiteral(const icu::UnicodeString& text, const icu::UnicodeString& from,
                                  const icu::UnicodeString& to) {
  if (from.isEmpty()) return text;
  return join(splitLiteral(text, from), to);
}

bool isWhitespace(UChar32 c) { return u_isUWhiteSpace(c); }

bool isSpaceOrTab(UChar32 c) { return c == u'\t' || u_charType(c) == U_SPACE_SEPARATOR; }

bool isWhitespaceOrLineBreak(UChar32 c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
  const int8_t type = u_charType(c);
  return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

int countWords(const icu::UnicodeString& text) {
  int words = 0;
  bool inWord = false;
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    const bool space = isWhitespace(c);
    if (!space && !inWord) ++words;
    inWord = !space;
    i += U16_LENGTH(c);
  }
  return words;
}

namespace {

template <typename Predicate>
icu::UnicodeString trimWhere(const icu::UnicodeString& text, Predicate shouldTrim) {
  int32_t start = 0;
  int32_t end = text.length();
  while (start < end) {
    const UChar32 c = text.char32At(start);
    if (!shouldTrim(c)) break;
    start += U16_LENGTH(c);
  }
  while (end > start) {
    const int32_t last = text.moveIndex32(end, -1);
    if (!shouldTrim(text.char32At(last))) break;
    end = last;
  }
  return icu::UnicodeString(text, start, end - start);
}

}  // namespace

icu::UnicodeString trimSpacesAndTabs(const icu::UnicodeString& text) {
  return trimWhere(text, isSpaceOrTab);
}

icu::UnicodeString trimWhitespaceAndLineBreaks(const icu::UnicodeString& text) {
  return trimWhere(text, isWhitespaceOrLineBreak);
}

icu::UnicodeString trimCharacters(const icu::UnicodeString& text, std::u16string_view characters) {
  return trimWhere(text, [characters](UChar32 c) {
    return c <= 0xFFFF && characters.find(static_cast<char16_t>(c)) != std::u16string_view::npos;
  });
}

icu::UnicodeString lowercased(const icu::UnicodeString& text) {
  icu::UnicodeString copy(text);
  copy.toLower(icu::Locale::getRoot());
  return copy;
}

icu::UnicodeString uppercased(const icu::UnicodeString& text) {
  icu::UnicodeString copy(text);
  copy.toUpper(icu::Locale::getRoot());
  return copy;
}

icu::UnicodeString withFirstUppercased(const icu::UnicodeString& text) {
  if (text.isEmpty()) return text;
  const int32_t firstLength = U16_LENGTH(text.char32At(0));
  icu::UnicodeString result = uppercased(icu::UnicodeString(text, 0, firstLength));
  result.append(text, firstLength, text.length() - firstLength);
  return result;
}

icu::UnicodeString prefixOfAtMost(const icu::UnicodeString& text, int32_t maxUnits) {
  if (maxUnits <= 0) return {};
  if (maxUnits >= text.length()) return text;
  int32_t end = maxUnits;
  if (U16_IS_LEAD(text.charAt(end - 1)) && U16_IS_TRAIL(text.charAt(end))) --end;
  return icu::UnicodeString(text, 0, end);
}

icu::UnicodeString suffixOfAtMost(const icu::UnicodeString& text, int32_t maxUnits) {
  if (maxUnits <= 0) return {};
  if (maxUnits >= text.length()) return text;
  int32_t start = text.length() - maxUnits;
  if (U16_IS_TRAIL(text.charAt(start)) && U16_IS_LEAD(text.charAt(start - 1))) ++start;
  return icu::UnicodeString(text, start);
}

}  // namespace quorvel::unicode
