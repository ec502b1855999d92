// The decision whether a cleanup may replace the raw transcript: plausibility
// of the whole text, and names added or dropped.
#include "text/CleanupGuards.h"

#include <array>

#include "text/GuardWords.h"
#include "text/FoldedText.h"
#include "text/NameMatching.h"
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

bool beginsWithReply(const UnicodeString& lower) {
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
  const UnicodeString rawText = unicode::fromUtf8(raw);
  const UnicodeString cleanedText = unicode::fromUtf8(cleaned);
  // Words by whitespace, as wordCount counts them.
  const double r = unicode::countWords(rawText);
  const double c = unicode::countWords(cleanedText);
  if (c < 1 || r * 0.4 > c || c > r * 1.35 + 3) return false;

  const guards::LowerWords cleanedWords(cleanedText);
  if (beginsWithReply(cleanedWords.lower())) return false;
  const guards::LowerWords rawWords(rawText);
  const guards::WordViews cleanedContent = guards::contentWordsOf(cleanedWords.tokens());
  if (!(guards::keptShare(guards::contentWordsOf(rawWords.tokens()), cleanedContent) >= minKept)) return false;
  if (guards::tooManyInvented(guards::invented(rawWords.tokens(), cleanedContent).size(), cleanedContent.size())) {
    return false;
  }
  return !guards::meaningChanged(rawWords.lower(), cleanedWords.lower());
}

// Where one of the names stands as a whole word.
struct NamePlaces {
  bool inText = false;
  bool inSaid = false;
};

// Each name's whole-word pattern is compiled once and only when the cheap
// check says the name may occur in one of the texts.
NamePlaces placesOf(const UnicodeString& name, const FoldedText& text,
                    const FoldedText& said, bool lookInText, bool lookInSaid) {
  NamePlaces places;
  if (name.isEmpty()) return places;
  lookInText = lookInText && text.mayContain(name);
  lookInSaid = lookInSaid && said.mayContain(name);
  if (!lookInText && !lookInSaid) return places;
  const auto pattern = unicode::wholeWordPattern(name);
  if (!pattern) return places;
  places.inText = lookInText && unicode::containsMatch(*pattern, text.text());
  places.inSaid = lookInSaid && unicode::containsMatch(*pattern, said.text());
  return places;
}

bool addsAnyName(const FoldedText& text, const FoldedText& said,
                 std::string_view saidUtf8, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const NamePlaces places = placesOf(unicode::fromUtf8(name), text, said, true, true);
    // Said as a whole word is mightBeSaid's first test, answered here already.
    if (places.inText && !places.inSaid && !mightBeSaid(name, saidUtf8)) return true;
  }
  return false;
}

bool dropsAnyName(const FoldedText& text, const FoldedText& said,
                  const std::vector<std::string>& names) {
  if (holdsCorrection(said.text())) return false;
  for (const std::string& name : names) {
    const NamePlaces places = placesOf(unicode::fromUtf8(name), text, said, true, true);
    if (places.inSaid && !places.inText) return true;
  }
  return false;
}

// Both name tests in one pass over the names: a name the cleanup added that
// the speaker cannot have said, or a name said that the cleanup lost (unless
// the speaker corrected himself).
bool namesChanged(const FoldedText& text, const FoldedText& said,
                  std::string_view saidUtf8, const std::vector<std::string>& names) {
  const bool correction = holdsCorrection(said.text());
  for (const std::string& name : names) {
    const NamePlaces places = placesOf(unicode::fromUtf8(name), text, said, true, true);
    if (places.inText && !places.inSaid && !mightBeSaid(name, saidUtf8)) return true;
    if (!correction && places.inSaid && !places.inText) return true;
  }
  return false;
}

bool keeps(std::string_view raw, std::string_view cleaned, const std::vector<std::string>& names,
           double minKept) {
  if (!isPlausible(raw, cleaned, minKept)) return false;
  if (names.empty()) return true;
  const FoldedText cleanedSearch(unicode::fromUtf8(cleaned));
  const FoldedText rawSearch(unicode::fromUtf8(raw));
  return !namesChanged(cleanedSearch, rawSearch, raw, names);
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
    return addsAnyName(FoldedText(unicode::fromUtf8(text)), FoldedText(unicode::fromUtf8(said)),
                       said, names);
  });
}

bool dropsNames(std::string_view text, std::string_view said, const std::vector<std::string>& names) {
  return answerOr(true, [&] {
    return dropsAnyName(FoldedText(unicode::fromUtf8(text)), FoldedText(unicode::fromUtf8(said)),
                        names);
  });
}

}  // namespace quorvel::TextHelpers
