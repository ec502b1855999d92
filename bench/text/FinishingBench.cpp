// How long the finishing rules take on one dictation, compiled once and with
// the end-anchored search, against the plain whole-text rules that compile
// every pattern on each call; and how long cutting a long transcript takes.
#include "../../tests/unit/text/StraightforwardRules.h"
#include "text/TextHelpers.h"

#include <benchmark/benchmark.h>

#include <string>

namespace quorvel::TextHelpers {
namespace {

// Sentences the way a cleaned dictation reads: commas, a dash, a range, the
// pronoun, a doubled word, a file name, an abbreviation.
const char* const kSentences[] = {
    "So the plan for this week is to finish the migration of the billing service, then move "
    "the staging server to the new cluster.",
    "i think the design review went well — the team liked the new layout.",
    "We still need numbers for pages 10 – 12 of the report before Friday.",
    "Please send me the notes from the meeting with the the customer support team.",
    "The tests passed on Monday, but the deploy script still fails on config.yaml sometimes.",
    "Dana said the budget looks fine, e.g. the marketing part is under what we planned.",
    "after that we can start on the pricing page and the invoice layout.",
    "If anything slips, i will let you know by Thursday so we can move the launch.",
    "Omar wants a short demo for the board, maybe ten minutes with a few slides.",
    "The backend is almost done, and the database changes are already live.",
};

std::string dictationOf(int words, const std::string& ending) {
  std::string text;
  for (int i = 0; wordCount(text) < words; ++i) {
    text += (text.empty() ? "" : " ") + std::string(kSentences[i % std::size(kSentences)]);
  }
  return text + ending;
}

const std::string& dictation300() {
  static const std::string text = dictationOf(295, " And yeah. That's it.");
  return text;
}

const std::string& letter300() {
  static const std::string text = "Hi Dana, " + dictationOf(290, " Let me know what you think.") +
                                  " Best regards Alex";
  return text;
}

std::string finishingChain(const std::string& text) {
  std::string result = lightClean(removeLeftoverCommands(stripClosingCommands(text)));
  if (auto letter = formatLetter(result)) result = *letter;
  return sturdyGrammar(removeDashes(result));
}

void BM_FinishingChain(benchmark::State& state) {
  const std::string& text = state.range(0) ? letter300() : dictation300();
  for (auto _ : state) benchmark::DoNotOptimize(finishingChain(text));
}
BENCHMARK(BM_FinishingChain)->Arg(0)->Arg(1)->ArgName("letter")->Unit(benchmark::kMillisecond);

void BM_FinishingChainStraightforward(benchmark::State& state) {
  const std::string& text = state.range(0) ? letter300() : dictation300();
  for (auto _ : state) benchmark::DoNotOptimize(straightforward::finishingChain(text));
}
BENCHMARK(BM_FinishingChainStraightforward)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("letter")
    ->Unit(benchmark::kMillisecond);

// The chain's steps one by one, to see where the time goes.
template <std::string (*Rule)(std::string_view)>
void BM_Step(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Rule(dictation300()));
}
BENCHMARK(BM_Step<stripClosingCommands>)->Name("Step/stripClosingCommands")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step<straightforward::stripClosingCommands>)
    ->Name("Step/stripClosingCommands/straightforward")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step<removeLeftoverCommands>)->Name("Step/removeLeftoverCommands")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step<lightClean>)->Name("Step/lightClean")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step<removeDashes>)->Name("Step/removeDashes")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step<sturdyGrammar>)->Name("Step/sturdyGrammar")->Unit(benchmark::kMicrosecond);

void BM_FormatLetter(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(formatLetter(letter300()));
}
BENCHMARK(BM_FormatLetter)->Unit(benchmark::kMicrosecond);

void BM_SentencePieces(benchmark::State& state) {
  const std::string text = dictationOf(3000, "");
  for (auto _ : state) benchmark::DoNotOptimize(sentencePieces(text, 60));
}
BENCHMARK(BM_SentencePieces)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::TextHelpers
