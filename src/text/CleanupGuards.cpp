// The decision whether a cleanup may replace the raw transcript: plausibility
// of the whole text, and names added or dropped.
#include "text/CleanupGuards.h"

#include <array>

#include "text/GuardWords.h"
#include "text/NameText.h"
#include "text/PersonalWords.h"
#include "text/Restorers.h"
#include "text/RuleFallback.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

namespace quorvel::TextHelpers {

using icu::UnicodeString;

namespace {

// How an answer that talks to the user instead of cleaning begins.
constexpr std::array<std::u16string_view, 8> kReplyOpenings = {
    u"sure", u"here is", u"here's the", u"certainly", u"of course", u"as an ai", u"cleaned text", u"i'm sorry"};

// Phrases of a speaker who corrects himself and may have taken a name back.
constexpr std::array<std::u16string_view, 9> kCorrectionPhrases = {
    u"no wait", u"scratch that", u"i mean", u"actually", u"sorry", u"no no", u"instead", u"rather", u"or no"};

bool beginsWithReply(const UnicodeString& cleaned) {
  const UnicodeString lower = unicode::lowercased(cleaned);
  for (std::u16string_view opening : kReplyOpenings) {
    if (lower.startsWith(opening.data(), static_cast<int32_t>(opening.size()))) return true;
  }
  return false;
}

bool holdsCorrection(const UnicodeString& said) {
  const UnicodeString lower = unicode::lowercased(said);
  for (std::u16string_view phrase : kCorrectionPhrases) {
    if (lower.indexOf(phrase.data(), static_cast<int32_t>(phrase.size()), 0) >= 0) return true;
  }
  return false;
}

bool isPlausible(std::string_view raw, std::string_view cleaned, double minKept) {
  const double r = wordCount(raw);
  const double c = wordCount(cleaned);
  if (c < 1 || r * 0.4 > c || c > r * 1.35 + 3) return false;

  const UnicodeString rawText = unicode::fromUtf8(raw);
  const UnicodeString cleanedText = unicode::fromUtf8(cleaned);
  if (beginsWithReply(cleanedText)) return false;

  const guards::WordSet rawContent = guards::contentWords(rawText);
  const guards::WordSet cleanedContent = guards::contentWords(cleanedText);
  if (!(guards::keptShare(rawContent, cleanedContent) >= minKept)) return false;
  if (guards::tooManyInvented(guards::invented(rawText, cleanedContent).size(), cleanedContent.size())) {
    return false;
  }
  return !changesMeaning(raw, cleaned);
}

bool addsAnyName(const nametext::SearchText& text, std::string_view said,
                 const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (text.hasWholeWord(unicode::fromUtf8(name)) && !mightBeSaid(name, said)) return true;
  }
  return false;
}

bool dropsAnyName(const nametext::SearchText& text, const UnicodeString& said,
                  const std::vector<std::string>& names) {
  if (holdsCorrection(said)) return false;
  const nametext::SearchText saidSearch(said);
  for (const std::string& name : names) {
    const UnicodeString word = unicode::fromUtf8(name);
    if (saidSearch.hasWholeWord(word) && !text.hasWholeWord(word)) return true;
  }
  return false;
}

bool keeps(std::string_view raw, std::string_view cleaned, const std::vector<std::string>& names,
           double minKept) {
  if (!isPlausible(raw, cleaned, minKept)) return false;
  const nametext::SearchText cleanedSearch(unicode::fromUtf8(cleaned));
  if (addsAnyName(cleanedSearch, raw, names)) return false;
  return !dropsAnyName(cleanedSearch, unicode::fromUtf8(raw), names);
}

}  // namespace

std::optional<std::string> usableCleanup(std::string_view raw, std::string_view cleaned,
                                         const std::vector<std::string>& names,
                                         const std::vector<std::string>& dictionary, double minKept) {
  return answerOr(std::optional<std::string>{}, [&]() -> std::optional<std::string> {
    std::string restored = restoreDictionaryWords(raw, cleaned, dictionary);
    if (!keeps(raw, restored, names, minKept)) return std::nullopt;
    return restored;
  });
}

bool cleanupKeeps(std::string_view raw, std::string_view cleaned, const std::vector<std::string>& names,
                  double minKept) {
  return answerOr(false, [&] { return keeps(raw, cleaned, names, minKept); });
}

bool plausible(std::string_view raw, std::string_view cleaned, double minKept) {
  return answerOr(false, [&] { return isPlausible(raw, cleaned, minKept); });
}

bool addsNames(std::string_view text, std::string_view said, const std::vector<std::string>& names) {
  return answerOr(true, [&] {
    return addsAnyName(nametext::SearchText(unicode::fromUtf8(text)), said, names);
  });
}

bool dropsNames(std::string_view text, std::string_view said, const std::vector<std::string>& names) {
  return answerOr(true, [&] {
    return dropsAnyName(nametext::SearchText(unicode::fromUtf8(text)), unicode::fromUtf8(said), names);
  });
}

}  // namespace quorvel::TextHelpers
