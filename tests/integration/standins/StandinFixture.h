// A fixture that starts stand-ins with Quorvel's own command lines on free
// loopback ports and kills whatever it started when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "StandinHarness.h"
#include "TestSupport.h"

namespace quorvel::testing {

enum class Kind { whisper, llama };

class StandinTest : public ::testing::Test {
 protected:
  void TearDown() override { processes_.clear(); }  // kills and reaps

  static std::string programOf(Kind kind) {
    return kind == Kind::whisper ? "quorvel-standin-whisper" : "quorvel-standin-llama";
  }
  static std::string readinessPath(Kind kind) { return kind == Kind::whisper ? "/" : "/health"; }
  static std::string keyVariable(Kind kind) {
    return kind == Kind::whisper ? "QUORVEL_ENGINE_KEY" : "LLAMA_API_KEY";
  }

  // The arguments Quorvel's server launcher passes.
  std::vector<std::string> whisperArgs(const std::string& model) const {
    return {"-m", model, "--host", "127.0.0.1", "--port", std::to_string(port), "-t", "4", "-l", "en"};
  }
  std::vector<std::string> llamaArgs(const std::vector<std::string>& modelArgs) const {
    std::vector<std::string> args = modelArgs;
    for (const char* arg : {"--host", "127.0.0.1", "--port"}) args.emplace_back(arg);
    args.push_back(std::to_string(port));
    for (const char* arg : {"-c", "4096", "-np", "1", "-fa", "on", "--jinja", "--no-webui", "--no-slots",
                            "--spec-type", "ngram-simple", "--spec-ngram-simple-size-n", "2",
                            "--spec-ngram-simple-size-m", "8"}) {
      args.emplace_back(arg);
    }
    return args;
  }
  std::vector<std::string> defaultArgs(Kind kind) const {
    return kind == Kind::whisper ? whisperArgs((dir / "ggml-base.en.bin").string())
                                 : llamaArgs({"-m", (dir / "cleanup.gguf").string()});
  }

  // The key and the request log, plus `extra`.
  std::map<std::string, std::string> environment(Kind kind, std::map<std::string, std::string> extra = {}) const {
    extra.emplace(keyVariable(kind), key);
    extra.emplace("QUORVEL_STANDIN_LOG", log.string());
    return extra;
  }

  StandinProcess& launch(Kind kind, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env) {
    processes_.push_back(std::make_unique<StandinProcess>(programOf(kind), args, env, dir.path()));
    return *processes_.back();
  }

  // Launches with the default arguments and waits until it is ready.
  StandinProcess& startReady(Kind kind, std::map<std::string, std::string> extra = {}) {
    StandinProcess& process = launch(kind, defaultArgs(kind), environment(kind, std::move(extra)));
    EXPECT_TRUE(waitForStatus200(port, readinessPath(kind), key)) << process.standardError();
    return process;
  }

  // The request-log lines of one event ("start", "request", …) and server.
  std::vector<nlohmann::json> logged(const std::string& event, const std::string& server) const {
    std::vector<nlohmann::json> lines;
    for (auto& line : readJsonLines(log)) {
      if (line.value("event", "") == event && line.value("server", "") == server) lines.push_back(line);
    }
    return lines;
  }

  TempDir dir;
  int port = freeLoopbackPort();
  std::string key = "5D1C0A6B9E8F47A2B3C4D5E6F708192A";
  fs::path log = dir / "requests.jsonl";
  fs::path script = dir / "script.jsonl";

 private:
  std::vector<std::unique_ptr<StandinProcess>> processes_;
};

}  // namespace quorvel::testing
