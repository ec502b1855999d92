// Whether a cleanup changed who speaks or greets the reader unasked, and
// whether a transcript is disfluent enough to be worth a model pass.
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <array>
#include <string>

#include "text/CleanupGuards.h"
#include "text/GuardWords.h"
#include "text/NameText.h"
#include "text/RuleFallback.h"
#include "text/Unicode.h"

namespace quorvel::TextHelpers {

using icu::UnicodeString;

namespace {

// Greetings, with the spellings a recogniser hears for "hi" and "hey".
constexpr std::array<std::u16string_view, 11> kGreetings = {
    u"hey", u"hi", u"hello", u"dear", u"greetings", u"howdy", u"yo", u"hiya", u"high", u"hay", u"hei"};

bool isGreeting(std::u16string_view word) {
  for (std::u16string_view greeting : kGreetings) {
    if (word == greeting) return true;
  }
  return false;
}

bool isLetter(UChar32 c) { return nametext::isLetter(c) || nametext::isMark(c); }

// Grammatical persons as bits of a set.
constexpr unsigned kFirst = 1, kWe = 2, kYou = 4, kHe = 8, kShe = 16, kThey = 32;

// The grammatical person a word refers to (0 for none); the part before the
// first apostrophe decides ("we're" is "we").
unsigned personOf(std::u16string_view word) {
  const std::u16string_view head = word.substr(0, word.find(u'\''));
  static const std::array<std::pair<std::u16string_view, unsigned>, 28> kPersons = {{
      {u"i", kFirst},        {u"me", kFirst},     {u"my", kFirst},         {u"mine", kFirst},
      {u"myself", kFirst},   {u"we", kWe},        {u"us", kWe},            {u"our", kWe},
      {u"ours", kWe},        {u"ourselves", kWe}, {u"you", kYou},          {u"your", kYou},
      {u"yours", kYou},      {u"yourself", kYou}, {u"yourselves", kYou},   {u"he", kHe},
      {u"him", kHe},         {u"his", kHe},       {u"himself", kHe},       {u"she", kShe},
      {u"her", kShe},        {u"hers", kShe},     {u"herself", kShe},      {u"they", kThey},
      {u"them", kThey},      {u"their", kThey},   {u"theirs", kThey},      {u"themselves", kThey},
  }};
  if (head == u"let") return word.starts_with(u"let's") ? kWe : 0;
  if (head == u"y") return word.find(u'\'') != std::u16string_view::npos ? kYou : 0;  // "y'all"
  for (const auto& [form, person] : kPersons) {
    if (head == form) return person;
  }
  return 0;
}

struct MeaningScan {
  unsigned persons = 0;  // the persons of the meaning words
  bool greets = false;   // some meaning word is a greeting
};

// The meaning words of a lower-cased text: runs of letters, numbers and
// apostrophes (curly ones read as straight), each trimmed of apostrophes at
// its ends.
MeaningScan scanMeaning(const UnicodeString& lower) {
  UnicodeString straightened;
  const UnicodeString* text = &lower;
  if (lower.indexOf(u'\u2019') >= 0) {
    straightened = lower;
    straightened.findAndReplace(UnicodeString(u'\u2019'), UnicodeString(u'\''));
    text = &straightened;
  }
  const char16_t* units = text->getBuffer();
  const int32_t n = text->length();
  MeaningScan scan;
  auto finish = [&](int32_t start, int32_t end) {
    std::u16string_view word(units + start, static_cast<size_t>(end - start));
    const size_t first = word.find_first_not_of(u'\'');
    if (first == std::u16string_view::npos) return;
    word = word.substr(first, word.find_last_not_of(u'\'') - first + 1);
    scan.persons |= personOf(word);
    scan.greets = scan.greets || isGreeting(word);
  };
  int32_t start = -1;
  for (int32_t i = 0; i < n;) {
    const int32_t at = i;
    UChar32 c;
    U16_NEXT(units, i, n, c);
    if (c == u'\'' || guards::isTokenCharacter(c)) {
      if (start < 0) start = at;
    } else if (start >= 0) {
      finish(start, at);
      start = -1;
    }
  }
  if (start >= 0) finish(start, n);
  return scan;
}

bool isSentenceCut(char16_t unit) {
  return unit == u'.' || unit == u'!' || unit == u'?' || unit == u'\n';
}

// Whether a sentence of the cleanup (cut at ".", "!", "?" and line feeds)
// opens with a greeting: its first run of letters is a greeting word.
bool opensWithGreeting(const UnicodeString& lower) {
  const int32_t length = lower.length();
  for (int32_t start = 0; start <= length;) {
    int32_t end = start;
    while (end < length && !isSentenceCut(lower.charAt(end))) ++end;
    int32_t i = start;
    while (i < end && !isLetter(lower.char32At(i))) i += U16_LENGTH(lower.char32At(i));
    std::u16string first;
    while (i < end && isLetter(lower.char32At(i))) {
      const int32_t size = U16_LENGTH(lower.char32At(i));
      first.append(lower.getBuffer() + i, static_cast<size_t>(size));
      i += size;
    }
    if (!first.empty() && isGreeting(first)) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

namespace guards {

bool meaningChanged(const UnicodeString& rawLower, const UnicodeString& cleanedLower) {
  const MeaningScan raw = scanMeaning(rawLower);
  if (!raw.greets && opensWithGreeting(cleanedLower)) return true;
  // A cleanup may add a person, never lose one.
  return (raw.persons & ~scanMeaning(cleanedLower).persons) != 0;
}

}  // namespace guards

bool changesMeaning(std::string_view raw, std::string_view cleaned) {
  return answerOr(true, [&] {
    return guards::meaningChanged(unicode::lowercased(unicode::fromUtf8(raw)),
                                  unicode::lowercased(unicode::fromUtf8(cleaned)));
  });
}

bool needsCleanup(std::string_view text) {
  return answerOr(true, [&] {
    static const std::array<const icu::RegexPattern*, 12> kDisfluencies = {
        &unicode::constantPattern(uR"re(\b(um+|uh+|ah+|erm?|hmm+|mm+)\b)re"),
        &unicode::constantPattern(uR"re(\bno wait\b)re"),
        &unicode::constantPattern(uR"re(\bi mean\b)re"),
        &unicode::constantPattern(uR"re(\bscratch that\b)re"),
        &unicode::constantPattern(uR"re(\bactually\b)re"),
        &unicode::constantPattern(uR"re(\bsorry\b)re"),
        &unicode::constantPattern(uR"re(\byou know\b)re"),
        &unicode::constantPattern(uR"re(\blike,)re"),
        &unicode::constantPattern(uR"re(\bbasically\b)re"),
        &unicode::constantPattern(uR"re(\blist\b)re"),
        &unicode::constantPattern(uR"re(\bnew (line|paragraph)\b)re"),
        &unicode::constantPattern(uR"re(\b(\w+) \1\b)re"),
    };
    const UnicodeString padded = UnicodeString(u" ") + unicode::lowercased(unicode::fromUtf8(text)) + UnicodeString(u" ");
    for (const icu::RegexPattern* pattern : kDisfluencies) {
      if (unicode::containsMatch(*pattern, padded)) return true;
    }
    int commas = 0;
    for (char c : text) commas += c == ',';
    return commas > 2;
  });
}

}  // namespace quorvel::TextHelpers
