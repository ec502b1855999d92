// Whether a cleanup changed who speaks or greets the reader unasked, and
// whether a transcript is disfluent enough to be worth a model pass.
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <array>
#include <string>

#include "text/CleanupGuards.h"
#include "text/NameText.h"
#include "text/RuleFallback.h"
#include "text/Unicode.h"

namespace quorvel::TextHelpers {

using icu::UnicodeString;

namespace {

using Word = std::u16string;

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

// The text lower-cased, with curly apostrophes straightened, cut into runs of
// letters, numbers and apostrophes, each trimmed of apostrophes at its ends.
std::vector<Word> meaningWords(const UnicodeString& text) {
  UnicodeString lower = unicode::lowercased(text);
  lower.findAndReplace(UnicodeString(u'\u2019'), UnicodeString(u'\''));
  std::vector<Word> words;
  Word current;
  auto finish = [&] {
    const size_t first = current.find_first_not_of(u'\'');
    if (first != Word::npos) {
      const size_t last = current.find_last_not_of(u'\'');
      words.push_back(current.substr(first, last - first + 1));
    }
    current.clear();
  };
  for (int32_t i = 0; i < lower.length();) {
    const UChar32 c = lower.char32At(i);
    const int32_t size = U16_LENGTH(c);
    if (c == u'\'' || nametext::isLetterOrNumber(c)) {
      current.append(lower.getBuffer() + i, static_cast<size_t>(size));
    } else {
      finish();
    }
    i += size;
  }
  finish();
  return words;
}

// Grammatical persons as bits of a set.
constexpr unsigned kFirst = 1, kWe = 2, kYou = 4, kHe = 8, kShe = 16, kThey = 32;

// The grammatical person a word refers to (0 for none); the part before the
// first apostrophe decides ("we're" is "we").
unsigned personOf(const Word& word) {
  const Word head = word.substr(0, word.find(u'\''));
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
  if (head == u"y") return word.find(u'\'') != Word::npos ? kYou : 0;  // "y'all"
  for (const auto& [form, person] : kPersons) {
    if (head == form) return person;
  }
  return 0;
}

unsigned personsOf(const std::vector<Word>& words) {
  unsigned persons = 0;
  for (const Word& word : words) persons |= personOf(word);
  return persons;
}

bool isSentenceCut(char16_t unit) {
  return unit == u'.' || unit == u'!' || unit == u'?' || unit == u'\n';
}

// Whether a sentence of the cleanup (cut at ".", "!", "?" and line feeds)
// opens with a greeting: its first run of letters is a greeting word.
bool opensWithGreeting(const UnicodeString& cleaned) {
  const UnicodeString lower = unicode::lowercased(cleaned);
  const int32_t length = lower.length();
  for (int32_t start = 0; start <= length;) {
    int32_t end = start;
    while (end < length && !isSentenceCut(lower.charAt(end))) ++end;
    int32_t i = start;
    while (i < end && !isLetter(lower.char32At(i))) i += U16_LENGTH(lower.char32At(i));
    Word first;
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

bool changesMeaning(std::string_view rawUtf8, std::string_view cleanedUtf8) {
  return answerOr(true, [&] {
    const UnicodeString cleaned = unicode::fromUtf8(cleanedUtf8);
    const std::vector<Word> rawWords = meaningWords(unicode::fromUtf8(rawUtf8));
    bool rawGreets = false;
    for (const Word& word : rawWords) rawGreets = rawGreets || isGreeting(word);
    if (!rawGreets && opensWithGreeting(cleaned)) return true;
    // A cleanup may add a person, never lose one.
    const unsigned rawPersons = personsOf(rawWords);
    return (rawPersons & ~personsOf(meaningWords(cleaned))) != 0;
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
