// Cost of the name matching that runs on every dictation: the names shown to
// the language model, the dictionary spellings, and the spelling check.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "text/NameMatching.h"
#include "text/SpellCheck.h"

namespace quorvel {
namespace {

// Made-up names of two or three syllables, the shape of a user's vocabulary.
std::vector<std::string> madeUpNames(int count) {
  static const char* syllables[] = {"ka", "zor", "vel", "mi", "dra", "lin", "tho", "quen", "sar", "bex",
                                    "ul", "rho", "nim", "pax", "ter", "go", "fin", "yar", "cel", "dun"};
  std::mt19937 random(7);
  std::vector<std::string> names;
  while (static_cast<int>(names.size()) < count) {
    std::string name;
    const int parts = 2 + static_cast<int>(random() % 2);
    for (int i = 0; i < parts; ++i) name += syllables[random() % 20];
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    names.push_back(name + (names.size() % 7 == 0 ? " Labs" : ""));
  }
  return names;
}

// A 300-word transcript of everyday words with a few names, some misheard.
std::string transcript(const std::vector<std::string>& names) {
  static const char* words[] = {"so", "we", "talked", "about", "the", "launch", "and", "then", "i", "think",
                                "that", "it", "should", "be", "ready", "by", "friday", "if", "nothing", "breaks",
                                "please", "send", "me", "notes", "from", "meeting", "with", "team", "tomorrow", "morning"};
  std::mt19937 random(11);
  std::string text;
  for (int i = 0; i < 300; ++i) {
    if (i % 37 == 5 && !names.empty()) {
      std::string name = names[random() % names.size()];
      for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (i % 74 == 5 && name.size() > 5) name[3] = 'e';  // a misheard letter
      text += name;
    } else {
      text += words[random() % 30];
    }
    text += i % 12 == 11 ? ". " : " ";
  }
  return text;
}

void BM_NamesForCleanup(benchmark::State& state) {
  const auto names = madeUpNames(static_cast<int>(state.range(0)));
  const std::string text = transcript(names);
  for (auto _ : state) benchmark::DoNotOptimize(namesForCleanup(text, names, {}));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_NamesForCleanup)->Arg(50)->Arg(500)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_ApplyDictionary(benchmark::State& state) {
  const auto names = madeUpNames(static_cast<int>(state.range(0)));
  const std::string text = transcript(names);
  std::map<std::string, std::string> aliases;
  for (size_t i = 0; i < names.size(); i += 10) aliases["heard" + std::to_string(i)] = names[i];
  for (auto _ : state) benchmark::DoNotOptimize(applyDictionary(text, names, aliases));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ApplyDictionary)->Arg(50)->Arg(500)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_IsRealWord(benchmark::State& state) {
  const std::vector<std::string> words = {"meeting", "Kathryn", "tomorrow", "zorvel", "launch",
                                          "quenbex", "because", "Friday", "notes", "dratho"};
  isRealWord("warm");  // loads the dictionary outside the timing
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(isRealWord(words[i++ % words.size()]));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IsRealWord);

}  // namespace
}  // namespace quorvel
