// Hostile input through every text rule: 10 KB runs of spaces, full stops,
// line breaks, one endless word and open brackets. The target is at most
// 50 ms per rule and input. The rules that once took quadratic time on such
// runs are also timed the way they were written before ("Before/..."), so the
// gain stays visible.
#include "../PlainEditDistance.h"
#include "../../tests/unit/text/StraightforwardRules.h"
#include "text/CleanupGuards.h"
#include "text/Restorers.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace quorvel::TextHelpers {
namespace {

constexpr size_t kSize = 10 * 1024;

std::string repeated(const std::string& piece) {
  std::string text;
  while (text.size() + piece.size() <= kSize) text += piece;
  return text;
}

struct Input {
  const char* name;
  std::string text;
};

const std::vector<Input>& inputs() {
  static const std::vector<Input> all = {
      {"spaces", repeated(" ")},       {"stops", repeated(". ")},     {"breaks", repeated("\n")},
      {"word", repeated("a")},         {"brackets", repeated("[")},   {"parentheses", repeated("(")},
      {"dashes", repeated("— ")},      {"words", repeated("um so and yeah ")},
  };
  return all;
}

using Rule = std::function<void(const std::string&)>;

// Every rule on one text, the two-text rules with the text on both sides.
const std::vector<std::pair<const char*, Rule>>& rules() {
  static const std::vector<std::pair<const char*, Rule>> all = {
      {"normalize", [](const std::string& t) { benchmark::DoNotOptimize(normalize(t)); }},
      {"dropSoundLabels", [](const std::string& t) { benchmark::DoNotOptimize(dropSoundLabels(t)); }},
      {"wordCount", [](const std::string& t) { benchmark::DoNotOptimize(wordCount(t)); }},
      {"sentencePieces", [](const std::string& t) { benchmark::DoNotOptimize(sentencePieces(t, 60)); }},
      {"lightClean", [](const std::string& t) { benchmark::DoNotOptimize(lightClean(t)); }},
      {"removeDashes", [](const std::string& t) { benchmark::DoNotOptimize(removeDashes(t)); }},
      {"greetingWithoutComma", [](const std::string& t) { benchmark::DoNotOptimize(greetingWithoutComma(t)); }},
      {"sturdyGrammar", [](const std::string& t) { benchmark::DoNotOptimize(sturdyGrammar(t)); }},
      {"fixProse", [](const std::string& t) { benchmark::DoNotOptimize(fixProse(t)); }},
      {"stripClosingCommands", [](const std::string& t) { benchmark::DoNotOptimize(stripClosingCommands(t)); }},
      {"removeLeftoverCommands", [](const std::string& t) { benchmark::DoNotOptimize(removeLeftoverCommands(t)); }},
      {"formatLetter", [](const std::string& t) { benchmark::DoNotOptimize(formatLetter(t)); }},
      {"levenshtein", [](const std::string& t) { benchmark::DoNotOptimize(levenshtein(t, t + "x")); }},
      {"usableCleanup", [](const std::string& t) { benchmark::DoNotOptimize(usableCleanup(t, t, {}, {})); }},
      {"needsCleanup", [](const std::string& t) { benchmark::DoNotOptimize(needsCleanup(t)); }},
      {"restoreDroppedSentences", [](const std::string& t) { benchmark::DoNotOptimize(restoreDroppedSentences(t, t)); }},
      {"restoreSentenceBreaks", [](const std::string& t) { benchmark::DoNotOptimize(restoreSentenceBreaks(t, t)); }},
      {"restoreDictionaryWords",
       [](const std::string& t) { benchmark::DoNotOptimize(restoreDictionaryWords(t, t, {"Kubernetes"})); }},
  };
  return all;
}

// --- The rules as they were written before, for comparison ------------------

// Every match of a plain pattern, one after the other.
int plainMatches(std::u16string_view source, const std::string& text) {
  const auto pattern = unicode::compileOrAbort(source);
  const icu::UnicodeString utf16 = unicode::fromUtf8(text);
  auto matcher = unicode::matcherFor(*pattern, utf16);
  int count = 0;
  while (matcher->find()) ++count;
  return count;
}

int plainLevenshtein(const std::string& a, const std::string& b) {
  const icu::UnicodeString left = unicode::lowercased(unicode::fromUtf8(a));
  const icu::UnicodeString right = unicode::lowercased(unicode::fromUtf8(b));
  return bench::plainEditDistance(left, right);
}

const std::vector<std::pair<const char*, Rule>>& before() {
  static const std::vector<std::pair<const char*, Rule>> all = {
      {"stripClosingCommands",
       [](const std::string& t) { benchmark::DoNotOptimize(straightforward::stripClosingCommands(t)); }},
      {"dropSoundLabels",  // its label search
       [](const std::string& t) {
         benchmark::DoNotOptimize(
             plainMatches(uR"re(\s*[\(\[\*]([A-Za-z][A-Za-z_' ]{1,38})[\)\]\*]\s*(?:-\s+)?)re", t));
       }},
      {"lightClean", [](const std::string& t) { benchmark::DoNotOptimize(straightforward::lightClean(t)); }},
      {"levenshtein", [](const std::string& t) { benchmark::DoNotOptimize(plainLevenshtein(t, t + "x")); }},
      {"restoreSentenceBreaks",  // its search for sentence breaks
       [](const std::string& t) {
         benchmark::DoNotOptimize(plainMatches(
             uR"re(([\p{L}\p{N}']+)[.!?][ \t]+([A-Z][\p{L}']*)[ \t]+([\p{L}\p{N}']+)[ \t]+([\p{L}\p{N}']+))re", t));
       }},
  };
  return all;
}

void registerAll() {
  for (const auto& input : inputs()) {
    for (const auto& [name, rule] : rules()) {
      benchmark::RegisterBenchmark((std::string("After/") + name + "/" + input.name).c_str(),
                                   [rule = rule, &text = input.text](benchmark::State& state) {
                                     for (auto _ : state) rule(text);
                                   })
          ->Unit(benchmark::kMillisecond);
    }
    const std::string inputName = input.name;
    if (inputName != "spaces" && inputName != "stops" && inputName != "breaks" && inputName != "word") continue;
    for (const auto& [name, rule] : before()) {
      // Seconds each: one pass is enough to see it.
      benchmark::RegisterBenchmark((std::string("Before/") + name + "/" + input.name).c_str(),
                                   [rule = rule, &text = input.text](benchmark::State& state) {
                                     for (auto _ : state) rule(text);
                                   })
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1);
    }
  }
}

const bool registered = (registerAll(), true);

}  // namespace
}  // namespace quorvel::TextHelpers
