// The engine's own time per dictation: finish() against a language-model
// server on loopback that answers at once, so what is measured is the
// pipeline's work (names, guards, restorers, pieces) plus loopback round trips.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/Config.h"
#include "engine/Pipeline.h"
#include "text/TextHelpers.h"

namespace {

using namespace quorvel;
namespace fs = std::filesystem;

// Answers every chat request at once: the whole text refused (empty) when it
// is longer than `refuseAbove` words, otherwise the dictation unchanged.
class InstantModel {
 public:
  explicit InstantModel(size_t refuseAboveBytes) {
    server_.Post("/v1/chat/completions", [refuseAboveBytes](const httplib::Request& request,
                                                           httplib::Response& response) {
      const Json body = Json::parse(request.body);
      std::string content = body["messages"].back()["content"];
      const auto label = content.rfind("Dictation: ");
      if (label != std::string::npos) content = content.substr(label + 11);
      if (content.size() > refuseAboveBytes) content.clear();
      response.set_content(Json{{"choices", {{{"message", {{"content", content}}}}}}}.dump(),
                           "application/json");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~InstantModel() {
    server_.stop();
    thread_.join();
  }
  int port() const { return port_; }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};

std::string dictation(int words) {
  static const char* sentences[] = {
      "We looked at the numbers for the second quarter with Anna this morning.",
      "The deploy to Kubernetes went out late because the tests were slow.",
      "Next week I want to review the budget and then send the report to the team.",
      "Um so the main question is whether we can ship the new version before Friday.",
  };
  std::string text;
  for (int i = 0; TextHelpers::wordCount(text) < words; ++i) {
    if (!text.empty()) text += " ";
    text += sentences[i % 4];
  }
  return text;
}

void setUpRoot(int port, bool layers) {
  static const fs::path root = fs::temp_directory_path() / "quorvel-engine-bench";
  fs::create_directories(root / "models" / "adapters");
  if (layers) {
    std::ofstream(root / "models" / "qwen3-1.7b-q4_k_m.gguf") << "base";
    std::ofstream(root / "models" / "adapters" / "cleanup-3.gguf") << "layer";
  } else {
    fs::remove(root / "models" / "qwen3-1.7b-q4_k_m.gguf");
  }
  setenv("QUORVEL_ROOT", root.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  setenv("QUORVEL_LLAMA_PORT", std::to_string(port).c_str(), 1);
  Config::resetForTesting();
}

CleanupConfig benchConfig() {
  CleanupConfig config = CleanupConfig::defaultRecord();
  config.dictionary = {"Anna", "Kubernetes", "Quorvel"};
  return config;
}

void BM_FinishUsableCleanup300Words(benchmark::State& state) {
  InstantModel model(1u << 30);
  setUpRoot(model.port(), false);
  Servers servers;
  auto pipeline = Pipeline::create(servers);
  pipeline->trained = true;
  pipeline->configOverride = benchConfig();
  const std::string text = dictation(300);
  std::int64_t requestMs = 0;
  for (auto _ : state) {
    const DictationResult result = pipeline->finish(text, std::nullopt);
    requestMs += result.cleanupMs;
    benchmark::DoNotOptimize(result.final);
  }
  state.counters["request_ms_per_dictation"] =
      static_cast<double>(requestMs) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FinishUsableCleanup300Words)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FinishInPieces1500Words(benchmark::State& state) {
  InstantModel model(2000);  // the whole text is refused, pieces of ~60 words are not
  setUpRoot(model.port(), true);
  Servers servers;
  auto pipeline = Pipeline::create(servers);
  pipeline->trained = true;
  pipeline->configOverride = benchConfig();
  const std::string text = dictation(1500);
  for (auto _ : state) {
    const DictationResult result = pipeline->finish(text, std::nullopt);
    if (result.path.rfind("cleaned in", 0) != 0) state.SkipWithError(result.path.c_str());
    benchmark::DoNotOptimize(result.final);
  }
}
BENCHMARK(BM_FinishInPieces1500Words)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
