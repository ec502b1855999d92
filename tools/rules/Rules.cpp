// The table of rules the console can call, one line per function. A text
// issue that adds rules adds its lines here.
#include <unicode/regex.h>

#include <memory>

#include "RuleRegistry.h"
#include "app/history/DictationLog.h"
#include "app/history/Stats.h"
#include "app/history/StrikeDiff.h"
#include "text/CleanupGuards.h"
#include "text/Fitting.h"
#include "text/Restorers.h"
#include "text/TextHelpers.h"
#include "text/TextPeriods.h"
#include "text/Unicode.h"

namespace quorvel::rules {
namespace {

using namespace quorvel::TextHelpers;

Json texts(const std::vector<std::string>& list) { return Json(list); }

Json fitted(const FittedText& result) { return {{"text", result.text}, {"note", result.note}}; }

Json groups(const SentenceGroups& result) {
  return {{"pieces", result.pieces}, {"rest", result.rest}};
}

Json optionalText(const std::optional<std::string>& text) { return text ? Json(*text) : Json(); }

// The pieces of `text` between the matches of `pattern`, an ICU pattern given by
// the caller; a pattern that does not compile is the caller's error.
Json components(const std::string& text, const std::string& pattern) {
  UParseError where{};
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexPattern> compiled(
      icu::RegexPattern::compile(unicode::fromUtf8(pattern), 0, where, status));
  if (U_FAILURE(status) || compiled == nullptr) {
    throw RuleFailure("pattern does not compile: " + std::string(u_errorName(status)));
  }
  return texts(componentsSeparatedBy(text, *compiled));
}

Json recordChange(bool added) {
  const Status written = TextPeriods::userChanged(added);
  if (!written) throw RuleFailure(written.error());
  return Json();
}

Json sortedWords() { return Json(std::vector<std::string>(continuationWords().begin(), continuationWords().end())); }

// The diff as {"word", "cut"} objects, one per said word.
Json struckWords(const std::string& raw, const std::string& typed) {
  Json list = Json::array();
  for (const StruckWord& word : strikeDiff(raw, typed)) list.push_back({{"word", word.word}, {"cut", word.cut}});
  return list;
}

// The statistics of a history (its JSON lines, as the file holds them) at a
// moment given in ISO 8601; "today" is that moment's day in the local zone.
Json statsAt(const std::string& history, const std::string& now) {
  const auto moment = parseIso8601(now);
  if (!moment) throw RuleFailure("not an ISO 8601 time: " + now);
  const Stats stats(entriesFromText(history), *moment);
  return {{"today", stats.today}, {"minutesSaved", stats.minutesSaved}};
}

using A = Arg;

}  // namespace

const std::vector<Rule>& allRules() {
  static const std::vector<Rule> rules = {
      // Sentence handling and light cleaning.
      {"normalize", {A::text}, [](const Args& a) { return Json(normalize(a.text(0))); }},
      {"dropSoundLabels", {A::text}, [](const Args& a) { return Json(dropSoundLabels(a.text(0))); }},
      {"wordCount", {A::text}, [](const Args& a) { return Json(wordCount(a.text(0))); }},
      {"components", {A::text, A::text}, [](const Args& a) { return components(a.text(0), a.text(1)); }},
      {"componentsSeparatedBy", {A::text, A::text}, [](const Args& a) { return components(a.text(0), a.text(1)); }},
      {"sentenceList", {A::text, A::integer}, [](const Args& a) { return texts(sentenceList(a.text(0), a.integer(1))); }},
      {"groupSentences", {A::texts, A::integer}, [](const Args& a) { return groups(groupSentences(a.texts(0), a.integer(1))); }},
      {"sentencePieces", {A::text, A::integer}, [](const Args& a) { return texts(sentencePieces(a.text(0), a.integer(1))); }},
      {"joinPieces", {A::texts}, [](const Args& a) { return Json(joinPieces(a.texts(0))); }},
      {"lightClean", {A::text}, [](const Args& a) { return Json(lightClean(a.text(0))); }},
      {"removeDashes", {A::text}, [](const Args& a) { return Json(removeDashes(a.text(0))); }},
      {"greetingWithoutComma", {A::text}, [](const Args& a) { return Json(greetingWithoutComma(a.text(0))); }},
      {"sturdyGrammar", {A::text}, [](const Args& a) { return Json(sturdyGrammar(a.text(0))); }},
      {"fixProse", {A::text}, [](const Args& a) { return Json(fixProse(a.text(0))); }},
      {"stripClosingCommands", {A::text}, [](const Args& a) { return Json(stripClosingCommands(a.text(0))); }},
      {"removeLeftoverCommands", {A::text}, [](const Args& a) { return Json(removeLeftoverCommands(a.text(0))); }},
      {"formatLetter", {A::text}, [](const Args& a) { return optionalText(formatLetter(a.text(0))); }},
      {"levenshtein", {A::text, A::text}, [](const Args& a) { return Json(levenshtein(a.text(0), a.text(1))); }},

      // Cleanup guards (the minimum kept share, when left out, is each function's default).
      {"usableCleanup", {A::text, A::text, A::texts, A::texts, A::number}, [](const Args& a) { return optionalText(a.given(4) ? usableCleanup(a.text(0), a.text(1), a.texts(2), a.texts(3), a.number(4)) : usableCleanup(a.text(0), a.text(1), a.texts(2), a.texts(3))); }, 1},
      {"cleanupKeeps", {A::text, A::text, A::texts, A::number}, [](const Args& a) { return Json(a.given(3) ? cleanupKeeps(a.text(0), a.text(1), a.texts(2), a.number(3)) : cleanupKeeps(a.text(0), a.text(1), a.texts(2))); }, 1},
      {"plausible", {A::text, A::text, A::number}, [](const Args& a) { return Json(a.given(2) ? plausible(a.text(0), a.text(1), a.number(2)) : plausible(a.text(0), a.text(1))); }, 1},
      {"keptRatio", {A::text, A::text}, [](const Args& a) { return Json(keptRatio(a.text(0), a.text(1))); }},
      {"inventsWords", {A::text, A::text}, [](const Args& a) { return Json(inventsWords(a.text(0), a.text(1))); }},
      {"inventedWords", {A::text, A::text}, [](const Args& a) { return Json(inventedWords(a.text(0), a.text(1))); }},
      {"changesMeaning", {A::text, A::text}, [](const Args& a) { return Json(changesMeaning(a.text(0), a.text(1))); }},
      {"addsNames", {A::text, A::text, A::texts}, [](const Args& a) { return Json(addsNames(a.text(0), a.text(1), a.texts(2))); }},
      {"dropsNames", {A::text, A::text, A::texts}, [](const Args& a) { return Json(dropsNames(a.text(0), a.text(1), a.texts(2))); }},
      {"needsCleanup", {A::text}, [](const Args& a) { return Json(needsCleanup(a.text(0))); }},
      {"contentWords", {A::text}, [](const Args& a) { return Json(contentWords(a.text(0))); }},
      {"wordStem", {A::text}, [](const Args& a) { return Json(wordStem(a.text(0))); }},

      // Restorers.
      {"restoreDroppedSentences", {A::text, A::text}, [](const Args& a) { return Json(restoreDroppedSentences(a.text(0), a.text(1))); }},
      {"restoreDictionaryWords", {A::text, A::text, A::texts}, [](const Args& a) { return Json(restoreDictionaryWords(a.text(0), a.text(1), a.texts(2))); }},
      {"restoreSentenceBreaks", {A::text, A::text}, [](const Args& a) { return Json(restoreSentenceBreaks(a.text(0), a.text(1))); }},

      // Fitting text to the cursor.
      {"fitText", {A::text, A::text, A::text}, [](const Args& a) { return fitted(fitText(a.text(0), a.text(1), a.text(2))); }},
      {"fitToContext", {A::text, A::context}, [](const Args& a) { return fitted(fitToContext(a.text(0), a.context(1))); }},
      {"dropFinalPeriod", {A::text}, [](const Args& a) { return Json(dropFinalPeriod(a.text(0))); }},
      {"addedFinalPeriod", {A::text, A::text}, [](const Args& a) { return Json(addedFinalPeriod(a.text(0), a.text(1))); }},
      {"removedFinalPeriod", {A::text, A::text}, [](const Args& a) { return Json(removedFinalPeriod(a.text(0), a.text(1))); }},
      {"continuationWords", {}, [](const Args&) { return sortedWords(); }},
      {"TextPeriods.on", {}, [](const Args&) { return Json(TextPeriods::on()); }},
      {"TextPeriods.userChanged", {A::flag}, [](const Args& a) { return recordChange(a.flag(0)); }},

      // The dashboard's word diff and statistics.
      {"strikeDiff", {A::text, A::text}, [](const Args& a) { return struckWords(a.text(0), a.text(1)); }},
      {"Stats", {A::text, A::text}, [](const Args& a) { return statsAt(a.text(0), a.text(1)); }},
  };
  return rules;
}

}  // namespace quorvel::rules
