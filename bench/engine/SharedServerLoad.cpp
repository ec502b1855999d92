// Many people dictating through one team's servers: each simulated user has
// their own key and engine (Servers elsewhere, Pipeline) and dictates a
// recording as if speaking it, pauses a few seconds, and dictates again, as
// many times as asked. Prints one line: the user count, the dictations, the p50,
// p95 and longest wait after the release, and the dictations that had an
// error (a failed speech request, or a language model that gave no answer).
//
//   quorvel-shared-load --speech URL --language URL --ca FILE --keys DIR
//                       --users N --dictations K --wav FILE [--label TEXT]
//
// Key files are DIR/user01, DIR/user02, ... The servers must be on loopback:
// this program refuses any other address, so a load never leaves the machine.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/SpokenDictation.h"
#include "audio/Wav.h"
#include "engine/Pipeline.h"
#include "engine/RemoteAddress.h"
#include "engine/Servers.h"
#include "support/Files.h"

using namespace quorvel;

namespace {

std::string option(int argc, char** argv, const std::string& name, const std::string& fallback = "") {
  for (int i = 1; i + 1 < argc; ++i) {
    if (argv[i] == name) return argv[i + 1];
  }
  return fallback;
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto at = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(at, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  const std::string speech = option(argc, argv, "--speech");
  const std::string language = option(argc, argv, "--language");
  const std::string ca = option(argc, argv, "--ca");
  const std::string keys = option(argc, argv, "--keys");
  const std::string wav = option(argc, argv, "--wav");
  const std::string label = option(argc, argv, "--label");
  const int users = std::clamp(std::atoi(option(argc, argv, "--users", "1").c_str()), 1, 64);
  const int dictations = std::clamp(std::atoi(option(argc, argv, "--dictations", "1").c_str()), 1, 20);
  for (const auto& address : {speech, language}) {
    const auto parsed = parseServerAddress(address);
    if (!parsed || !parsed->loopback) {
      std::fprintf(stderr, "shared-load: %s is not a loopback address\n", address.c_str());
      return 2;
    }
  }
  const auto bytes = readWholeFileOrError(wav);
  auto decoded = bytes ? decodeWav(*bytes) : Result<Samples>(Error{bytes.error()});
  if (!decoded) {
    std::fprintf(stderr, "shared-load: can't read %s\n", wav.c_str());
    return 2;
  }
  const auto samples = std::make_shared<const Samples>(std::move(decoded).value());

  std::mutex lock;
  std::vector<double> waits;  // seconds after the release, guarded by lock
  std::atomic<int> errors{0}, notReady{0};

  std::vector<std::thread> people;
  for (int user = 1; user <= users; ++user) {
    people.emplace_back([&, user] {
      char name[16];
      std::snprintf(name, sizeof name, "user%02d", user);
      const std::string key = (fs::path(keys) / name).string();
      RemoteSettings settings{{speech, key, false}, {language, key, false}, ca, ""};
      Servers servers(ServerWaits{}, settings);
      const auto pipeline = Pipeline::create(servers);
      if (!servers.waitUntilReady(std::chrono::seconds(60))) {
        std::fprintf(stderr, "%s: %s\n", name, servers.remoteProblem().value_or("not ready").c_str());
        notReady.fetch_add(1);
        return;
      }
      pipeline->trained = servers.usesLayers();
      std::mt19937 random(static_cast<unsigned>(user));
      std::uniform_int_distribution<int> pause(2000, 5000);
      // People do not start in step.
      std::this_thread::sleep_for(std::chrono::milliseconds(pause(random) - 2000));
      for (int round = 0; round < dictations; ++round) {
        const SpokenDictation spoken = dictateAsSpoken(servers, pipeline, samples, SpeakingOptions{});
        const char* problem = spoken.speechFailed > 0        ? "a speech request failed"
                              : spoken.languageUnanswered    ? "the language model gave no answer"
                              : spoken.result.final.empty() ? "no words came back"
                                                             : nullptr;
        if (problem != nullptr) {
          errors.fetch_add(1);
          std::fprintf(stderr, "%s\n", problem);  // counted by the run script
        }
        {
          std::scoped_lock guard(lock);
          waits.push_back(static_cast<double>(spoken.afterReleaseMs) / 1000.0);
        }
        if (round + 1 < dictations) std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
      }
    });
  }
  for (auto& person : people) person.join();

  std::printf("%-22s | %5d | %10zu | %7.2f | %7.2f | %7.2f | %6d\n", label.c_str(), users, waits.size(),
              percentile(waits, 0.5), percentile(waits, 0.95), waits.empty() ? 0.0 : *std::max_element(waits.begin(), waits.end()),
              errors.load() + notReady.load());
  std::fflush(stdout);
  return notReady.load() > 0 ? 1 : 0;
}
