// What the dashboard costs on a long history: reading 10,000 dictations
// (about 5 MB) with the statistics, the History page's search per keystroke,
// and the word diff of a 300-word dictation.
#include <benchmark/benchmark.h>

#include <chrono>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "../text/DictationSample.h"
#include "app/windows/DashboardModel.h"
#include "app/history/StrikeDiff.h"
#include "support/Files.h"
#include "support/Json.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// A main loop that is never run: the model only posts the words notice to it.
class IdleLoop final : public MainLoop {
 public:
  void post(std::function<void()>) override {}
  TimerId after(Seconds, std::function<void()>) override { return 0; }
  TimerId every(Seconds, std::function<void()>) override { return 0; }
  void cancel(TimerId) override {}
  Clock::time_point now() const override { return Clock::now(); }
};

// A data folder with a history of `count` dictations and a small dictionary.
struct History {
  fs::path folder;
  DashboardSources sources;
  size_t bytes = 0;

  explicit History(int count) {
    folder = fs::temp_directory_path() / ("quorvel-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    sources = {folder / "dictations.jsonl", CleanupFiles{folder / "cleanup.json", std::nullopt}};
    (void)writeFileAtomically(sources.cleanup.user,
                              R"({"system": "Clean it.", "dictionary": ["Dana", "Priya"], "examples": []})");
    std::string text;
    const auto start = std::chrono::system_clock::now() - std::chrono::hours(24 * 60);
    for (int i = 0; i < count; ++i) {
      const bench::DictationSample sample = bench::makeDictation(20 + i % 20, false, static_cast<unsigned>(i));
      const Json line = {{"time", iso8601(start + std::chrono::minutes(8 * i))},
                         {"audio_s", 12.5},
                         {"after_release_ms", 640},
                         {"speech_ms", 420},
                         {"cleanup_ms", 220},
                         {"chunks", 3},
                         {"path", "model"},
                         {"cleanup_model", "cleanup-trained"},
                         {"raw", sample.raw},
                         {"final", sample.cleaned},
                         {"speech_engine", "graphics chip"}};
      text += compactJson(line) + "\n";
    }
    bytes = text.size();
    (void)writeFileAtomically(sources.history, text);
  }
  ~History() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
};

History& tenThousand() {
  static History history(10000);
  return history;
}

void BM_DashboardReloadWithStatistics(benchmark::State& state) {
  History& history = tenThousand();
  IdleLoop loop;
  DashboardModel model(std::make_shared<DashboardBridge>(), loop, history.sources);
  for (auto _ : state) {
    model.reload();
    benchmark::DoNotOptimize(model.stats(std::chrono::system_clock::now()));
    benchmark::DoNotOptimize(model.lastDictation());
  }
  state.counters["entries"] = static_cast<double>(model.entries().size());
  state.counters["MB"] = static_cast<double>(history.bytes) / 1e6;
}
BENCHMARK(BM_DashboardReloadWithStatistics)->Unit(benchmark::kMillisecond);

// One keystroke: the query grows by a letter and the list is filtered again.
void BM_HistorySearchPerKeystroke(benchmark::State& state) {
  History& history = tenThousand();
  IdleLoop loop;
  DashboardModel model(std::make_shared<DashboardBridge>(), loop, history.sources);
  benchmark::DoNotOptimize(model.search("x"));  // the folded texts are made at the first search
  const std::string word = "migration";
  size_t letters = 1;
  size_t found = 0;
  for (auto _ : state) {
    const auto matches = model.search(word.substr(0, letters));
    found = matches.size();
    benchmark::DoNotOptimize(matches);
    letters = letters % word.size() + 1;
  }
  state.counters["matches"] = static_cast<double>(found);
}
BENCHMARK(BM_HistorySearchPerKeystroke)->Unit(benchmark::kMillisecond);

// The first keystroke after a reload also folds every text once.
void BM_HistoryFirstSearchAfterReload(benchmark::State& state) {
  History& history = tenThousand();
  IdleLoop loop;
  DashboardModel model(std::make_shared<DashboardBridge>(), loop, history.sources);
  for (auto _ : state) {
    state.PauseTiming();
    model.reload();
    state.ResumeTiming();
    benchmark::DoNotOptimize(model.search("m"));
  }
}
BENCHMARK(BM_HistoryFirstSearchAfterReload)->Unit(benchmark::kMillisecond);

void BM_StrikeDiff300Words(benchmark::State& state) {
  const bench::DictationSample sample = bench::makeDictation(300, true);
  for (auto _ : state) benchmark::DoNotOptimize(strikeDiff(sample.raw, sample.cleaned));
}
BENCHMARK(BM_StrikeDiff300Words)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvel
