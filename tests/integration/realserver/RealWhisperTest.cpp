// Quorvel's Servers and the "--test" run with the real whisper-server and its
// weightless test model (it answers every request with an empty text).
#include <signal.h>
#include <sys/wait.h>

#include <regex>

#include "QuickServerWaits.h"
#include "RealServerFixture.h"
#include "engine/Servers.h"
#include "support/ChildProcess.h"
#include "support/Http.h"
#include "support/PortListeners.h"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;

int occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class RealWhisper : public RealServerTest {
 protected:
  void SetUp() override {
    RealServerTest::SetUp();
    if (HasFatalFailure()) return;
    putModel("speech-tiny.en.bin", "ggml-small.en-q5_1.bin");
  }
  fs::path speech = QUORVEL_RUNS_SPEECH_DIR;
  // The language model is our stand-in here: only speech is under test.
  ScopedEnv llamaStandIn{"QUORVEL_LLAMA_SERVER", buildProgram("quorvel-standin-llama").string()};
};

TEST_F(RealWhisper, TakesOurArgumentsIsReadyInSecondsAndStopsCleanlyOnOneSignal) {
  Servers servers(quickServerWaits(200));
  servers.startWhisper("ggml-small.en-q5_1.bin");
  const auto start = std::chrono::steady_clock::now();
  servers.waitForWhisper();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  ASSERT_FALSE(servers.whisperExit().has_value()) << *servers.whisperExit();

  HttpRequest probe;
  probe.url = servers.whisperAddress();
  probe.timeout = 2s;
  probe.headers = {{"Authorization", "Bearer " + servers.apiKey()}};
  const auto answer = httpFetch(probe);
  ASSERT_TRUE(answer.ok());
  EXPECT_EQ(answer->status, 200);

  const auto process = servers.whisperProcess();
  servers.stopAll();
  ASSERT_TRUE(process->exitStatus().has_value());
  EXPECT_TRUE(WIFEXITED(*process->exitStatus()) && WEXITSTATUS(*process->exitStatus()) == 0)
      << describeWaitStatus(*process->exitStatus());
  const std::string log = logText("whisper.log");
  EXPECT_EQ(log.find("unknown argument"), std::string::npos) << log;
  EXPECT_EQ(log.find("second interrupt"), std::string::npos) << log;
  EXPECT_NE(log.find("shutting down gracefully"), std::string::npos) << log;
}

TEST_F(RealWhisper, ATestRunHasEveryPieceAnswered) {
  const ProgramRun run = runQuorvel({"--test", (speech / "joined.wav").string(), "--instant"}, 120s);
  ASSERT_TRUE(run.inTime) << run.output;
  EXPECT_EQ(run.status, 0) << run.output;
  std::smatch found;
  ASSERT_TRUE(std::regex_search(run.output, found, std::regex(R"((\d+) chunk\(s\))"))) << run.output;
  const int pieces = std::stoi(found[1]);
  EXPECT_GE(pieces, 1);
  const std::string log = logText("whisper.log");
  // Every piece and the warm-up reached the model, and none was refused.
  EXPECT_EQ(occurrences(log, "Received request"), pieces + 1) << log;
  EXPECT_EQ(occurrences(log, "Running whisper.cpp inference"), pieces + 1) << log;
  EXPECT_EQ(log.find("error"), std::string::npos) << log;
  EXPECT_EQ(log.find("second interrupt"), std::string::npos) << log;
}

TEST_F(RealWhisper, AServerKilledMidRunEndsTheRunPromptlyAndItIsSaid) {
  // Fed in real time, so the server can be killed while pieces are still coming.
  bool killed = false;
  const ProgramRun run =
      runQuorvel({"--test", (speech / "joined.wav").string()}, 120s, [&] {
        if (logText("whisper.log").find("Received request") == std::string::npos) return false;
        for (const pid_t server : processesListeningOn(whisperPort)) ::kill(server, SIGKILL);
        killed = true;
        return true;
      });
  ASSERT_TRUE(killed) << run.output;
  ASSERT_TRUE(run.inTime) << run.output;
  // The recording lasts a few seconds; the run must not wait out the probes
  // (45 s for every remaining piece).
  EXPECT_LT(run.took, 40s) << run.output;
}

TEST_F(RealWhisper, AnotherProgramOnThePortFailsTheStartAndSaysWhy) {
  LaunchOptions foreign;
  foreign.executable = "/usr/bin/python3";
  foreign.arguments = {"-m", "http.server", "--bind", "127.0.0.1", std::to_string(whisperPort),
                       "--directory", root.path().string()};
  auto squatter = ChildProcess::launch(foreign);
  ASSERT_TRUE(squatter.ok());
  ASSERT_TRUE(eventually([&] { return !processesListeningOn(whisperPort).empty(); }, 10s));

  const ProgramRun run = runQuorvel({"--test", (speech / "a.wav").string(), "--instant"}, 60s);
  (*squatter)->terminate();
  (*squatter)->waitForExit(5s);
  ASSERT_TRUE(run.inTime) << run.output;
  EXPECT_NE(run.output.find("models failed to start"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("couldn't bind"), std::string::npos) << run.output;
  EXPECT_LT(run.took, 30s) << run.output;
}

}  // namespace
}  // namespace quorvel::testing
