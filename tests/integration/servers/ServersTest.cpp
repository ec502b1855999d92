// The model servers against the stand-ins, over loopback.
#include "engine/Servers.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "QuickServerWaits.h"
#include "TestSupport.h"
#include "app/models/PipelineEngine.h"
#include "engine/Config.h"
#include "support/Json.h"
#include "support/Log.h"
#include "support/PortListeners.h"
#include "support/UserDefaults.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::ScopedEnv;
using testing::TempDir;


// A speech port whose Neural Engine trial port (+100) is free as well.
int freeSpeechPort() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int trial = testing::freeLoopbackPort();
    if (trial > 1124) return trial - 100;
  }
  throw std::runtime_error("no free port pair");
}

class ServersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Config::resetForTesting();
    servers = std::make_unique<Servers>(testing::quickServerWaits());
  }

  void TearDown() override {
    servers->stopAll();
    Config::resetForTesting();
  }

  // The request log's lines of one kind ("start" or "request") from one server.
  std::vector<Json> logged(const std::string& event, const std::string& server) const {
    std::vector<Json> lines;
    std::ifstream in(requestLog);
    for (std::string line; std::getline(in, line);) {
      auto json = parseJson(line);
      if (json && json->value("event", "") == event && json->value("server", "") == server) {
        lines.push_back(*json);
      }
    }
    return lines;
  }

  std::vector<std::string> startArguments(const std::string& server) const {
    const auto starts = logged("start", server);
    if (starts.empty()) return {};
    return starts.back()["args"].get<std::vector<std::string>>();
  }

  TempDir root;
  fs::path requestLog = root / "requests.jsonl";
  int whisperPort = freeSpeechPort();
  int llamaPort = testing::freeLoopbackPort();
  ScopedEnv rootVariable{"QUORVEL_ROOT", root.path().string()};
  ScopedEnv configHome{"XDG_CONFIG_HOME", (root.path() / "config").string()};
  ScopedEnv whisperExe{"QUORVEL_WHISPER_SERVER",
                       testing::buildProgram("quorvel-standin-whisper").string()};
  ScopedEnv llamaExe{"QUORVEL_LLAMA_SERVER", testing::buildProgram("quorvel-standin-llama").string()};
  ScopedEnv whisperPortVariable{"QUORVEL_WHISPER_PORT", std::to_string(whisperPort)};
  ScopedEnv llamaPortVariable{"QUORVEL_LLAMA_PORT", std::to_string(llamaPort)};
  ScopedEnv logVariable{"QUORVEL_STANDIN_LOG", requestLog.string()};
  ScopedEnv noLayer{"QUORVEL_ADAPTER_CLEANUP", std::nullopt};
  ScopedEnv noBase{"QUORVEL_BASE_MODEL", std::nullopt};
  ScopedEnv neural{"QUORVEL_NEURAL_ENGINE", std::nullopt};
  std::unique_ptr<Servers> servers;
};

TEST_F(ServersTest, StartsBothWithTheExactArgumentsAndTheKeyOnlyInTheEnvironment) {
  const std::string key = servers->apiKey();
  ASSERT_EQ(key.size(), 32u);
  EXPECT_EQ(key.find_first_not_of("0123456789ABCDEF"), std::string::npos);

  servers->startWhisper("ggml-small.en-q5_1.bin");
  servers->startLlama("cleanup-trained.gguf");
  ASSERT_TRUE(servers->waitUntilReady(20s));

  const fs::path models = root.path() / "models";
  EXPECT_EQ(startArguments("whisper"),
            (std::vector<std::string>{"-m", (models / "ggml-small.en-q5_1.bin").string(), "--host",
                                      "127.0.0.1", "--port", std::to_string(whisperPort), "-t",
                                      std::to_string(speechServerThreads()), "-l", "en"}));
  EXPECT_EQ(startArguments("llama"),
            (std::vector<std::string>{
                "-m", (models / "cleanup-trained.gguf").string(), "--host", "127.0.0.1", "--port",
                std::to_string(llamaPort), "-c", "4096", "-np", "1", "-fa", "on", "--jinja",
                "--no-webui", "--no-slots", "--spec-type", "ngram-simple",
                "--spec-ngram-simple-size-n", "2", "--spec-ngram-simple-size-m", "8"}));
  for (const char* server : {"whisper", "llama"}) {
    const auto starts = logged("start", server);
    ASSERT_FALSE(starts.empty()) << server;
    EXPECT_TRUE(starts.back()["env_key_set"].get<bool>()) << server;
    const auto requests = logged("request", server);
    ASSERT_FALSE(requests.empty()) << server;
    for (const auto& request : requests) EXPECT_TRUE(request["key_ok"].get<bool>()) << request;
  }
  EXPECT_TRUE(fs::exists(root.path() / "logs" / "whisper.log"));
  EXPECT_TRUE(fs::exists(root.path() / "logs" / "cleanup-model.log"));
  EXPECT_EQ(testing::readTextFile(requestLog).find(key), std::string::npos);
  EXPECT_FALSE(Config::loadedCleanupLayer().has_value());
}

// The application starts the speech model the user chose (a setting the
// model store also downloads by), not always the default one: a choice
// carried over from the predecessor must not leave the server without its file.
TEST_F(ServersTest, TheApplicationStartsTheChosenSpeechModel) {
  ASSERT_TRUE(UserDefaults().set("speechModel", "ggml-base.en.bin").ok());
  PipelineEngine engine(testing::quickServerWaits());
  engine.startServers();
  ASSERT_TRUE(engine.waitUntilReady(20s));
  const auto arguments = startArguments("whisper");
  ASSERT_GE(arguments.size(), 2u);
  EXPECT_EQ(arguments[1], (root.path() / "models" / "ggml-base.en.bin").string());
  engine.stopAll();
}

TEST_F(ServersTest, LayersGoOnTheBaseModelAndOnlyPresentOnesAreListed) {
  const fs::path models = root.path() / "models";
  testing::writeTextFile(models / "qwen3-1.7b-q4_k_m.gguf", "base");
  testing::writeTextFile(models / "adapters" / "cleanup-3.gguf", "layer");
  testing::writeTextFile(models / "adapters" / "cleanup-small-9.gguf", "ignored");
  servers->startLlama("cleanup-trained.gguf");
  ASSERT_TRUE(servers->waitForLlama());
  const auto arguments = startArguments("llama");
  ASSERT_GE(arguments.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(arguments.begin(), arguments.begin() + 5),
            (std::vector<std::string>{"-m", (models / "qwen3-1.7b-q4_k_m.gguf").string(),
                                      "--lora-init-without-apply", "--lora",
                                      (models / "adapters" / "cleanup-3.gguf").string()}));
  EXPECT_EQ(arguments[5], "--host");
  EXPECT_EQ(Config::loadedCleanupLayer(), models / "adapters" / "cleanup-3.gguf");
  EXPECT_EQ(Config::cleanupHeaderVersion(), 3);
}

TEST_F(ServersTest, ALayerPathWithACommaOrAQuoteIsQuotedForTheServersListReader) {
  // The server reads "--lora" as a CSV row: a comma would split the path.
  const fs::path odd = root / "a,b \"c\"";
  ScopedEnv oddRoot("QUORVEL_ROOT", odd.string());
  Config::resetForTesting();
  testing::writeTextFile(odd / "models" / "qwen3-1.7b-q4_k_m.gguf", "base");
  testing::writeTextFile(odd / "models" / "adapters" / "cleanup-3.gguf", "layer");
  servers->startLlama("cleanup-trained.gguf");
  ASSERT_TRUE(servers->waitForLlama());
  const auto arguments = startArguments("llama");
  ASSERT_GE(arguments.size(), 5u);
  std::string expected = "\"";
  for (char c : (odd / "models" / "adapters" / "cleanup-3.gguf").string()) {
    if (c == '"') expected += '"';
    expected += c;
  }
  expected += "\"";
  EXPECT_EQ(arguments[4], expected);
}

TEST_F(ServersTest, RestartingTheLanguageModelFreesThePortFirst) {
  servers->startLlama("cleanup-trained.gguf");
  ASSERT_TRUE(servers->waitForLlama());
  const pid_t first = servers->llamaProcess()->pid();
  servers->startLlama("cleanup-trained.gguf");
  ASSERT_NE(servers->llamaProcess(), nullptr);
  EXPECT_NE(servers->llamaProcess()->pid(), first);
  EXPECT_NE(::kill(first, 0), 0);  // the old one has exited and been reaped
  ASSERT_TRUE(servers->waitForLlama());
  EXPECT_TRUE(servers->llamaProcess()->isRunning());  // it got the port, it did not fail to bind
}

TEST_F(ServersTest, ZeroTimeOutAnswersFalseWithoutProbing) {
  servers->startLlama("cleanup-trained.gguf");
  servers->startWhisper("ggml-base.en.bin");
  ASSERT_TRUE(servers->waitUntilReady(20s));
  const size_t before = logged("request", "llama").size() + logged("request", "whisper").size();
  EXPECT_FALSE(servers->waitUntilReady(0s));
  EXPECT_EQ(logged("request", "llama").size() + logged("request", "whisper").size(), before);
}

TEST_F(ServersTest, MissingExecutableIsALoggedLaunchFailureAndProbesFail) {
  LogCapture log;
  ScopedEnv missing("QUORVEL_LLAMA_SERVER", "/nonexistent/llama-server");
  servers->startLlama("cleanup-trained.gguf");
  EXPECT_EQ(servers->llamaProcess(), nullptr);
  EXPECT_TRUE(log.contains("Quorvel: could not start /nonexistent/llama-server: "));
  EXPECT_FALSE(servers->waitUntilReady(300ms));
  servers->stopAll();  // nothing to stop: no crash
}

class NeuralEngineTrial : public ServersTest {
 protected:
  void SetUp() override {
    ServersTest::SetUp();
    fs::create_directories(root.path() / "models" / "neural-engine" /
                           "ggml-base.en-encoder.mlmodelc");
    testing::writeTextFile(root.path() / "models" / "ggml-base.en.bin", "model");
  }

  // A wrapper script around the stand-in for the trial server.
  std::string wrapper(const std::string& body) {
    const fs::path script = root / "trial.sh";
    testing::writeTextFile(script, "#!/bin/sh\n" + body + "\n");
    fs::permissions(script, fs::perms::owner_all);
    return script.string();
  }
};

TEST_F(NeuralEngineTrial, EncoderLineDecidesAndTheSpeechServerMovesToTheLinkedCopy) {
  EXPECT_TRUE(servers->prepareNeuralEngine("ggml-base.en.bin"));
  EXPECT_TRUE(servers->isNeuralReady("ggml-base.en.bin"));
  const auto trial = startArguments("whisper");
  ASSERT_GE(trial.size(), 10u);
  EXPECT_EQ(trial[5], std::to_string(whisperPort + 100));
  EXPECT_EQ(trial[7], "2");
  EXPECT_EQ(testing::readTextFile(root.path() / "models" / "neural-engine" / "ggml-base.en.bin"),
            "model");  // the link to the model beside its encoder

  servers->startWhisper("ggml-base.en.bin");
  EXPECT_TRUE(servers->whisperOnNeuralEngine());
  servers->waitForWhisper();
  EXPECT_EQ(startArguments("whisper")[1],
            (root.path() / "models" / "neural-engine" / "ggml-base.en.bin").string());
}

TEST_F(NeuralEngineTrial, NoEncoderLineMeansFalse) {
  // The same stand-in, but given the plain model: it never reports the encoder.
  ScopedEnv exe("QUORVEL_WHISPER_SERVER",
                wrapper("shift 2\nexec '" +
                        testing::buildProgram("quorvel-standin-whisper").string() + "' -m '" +
                        (root.path() / "models" / "ggml-base.en.bin").string() + "' \"$@\""));
  EXPECT_FALSE(servers->prepareNeuralEngine("ggml-base.en.bin"));
  EXPECT_FALSE(servers->isNeuralReady("ggml-base.en.bin"));
}

TEST_F(NeuralEngineTrial, ATrialThatExitsEarlyAnswersFalseAtOnce) {
  ScopedEnv exe("QUORVEL_WHISPER_SERVER", wrapper("echo 'Core ML model loaded'\nexit 1"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(servers->prepareNeuralEngine("ggml-base.en.bin"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(NeuralEngineTrial, SwitchedOffOrWithoutEncoderNothingIsLaunched) {
  EXPECT_FALSE(servers->prepareNeuralEngine("ggml-small.en-q5_1.bin"));  // no encoder
  {
    ScopedEnv off("QUORVEL_NEURAL_ENGINE", "0");
    Config::resetForTesting();
    EXPECT_FALSE(servers->prepareNeuralEngine("ggml-base.en.bin"));
  }
  EXPECT_TRUE(logged("start", "whisper").empty());
}

TEST_F(ServersTest, KillStaleStopsOurServersAndLeavesOtherListenersAlone) {
  // Our stand-in from an "earlier run" on the speech port.
  LaunchOptions stray;
  stray.executable = testing::buildProgram("quorvel-standin-whisper").string();
  stray.arguments = {"-m", "x.bin", "--host", "127.0.0.1", "--port", std::to_string(whisperPort),
                     "-t", "1", "-l", "en"};
  auto process = ChildProcess::launch(stray);
  ASSERT_TRUE(process.ok());
  servers->waitForWhisper();

  // Someone else's listener on the language-model port: this test itself.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(llamaPort));
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(fd, 1), 0);

  LogCapture log;
  servers->killStale();
  EXPECT_TRUE((*process)->waitForExit(5s));
  EXPECT_TRUE(log.contains("port " + std::to_string(llamaPort) + " is taken by"));
  ::close(fd);
}

// A stand-in for a server written as a shell script, run in place of the
// speech server; it notes every SIGTERM it gets in a file.
class ScriptedServer : public ServersTest {
 protected:
  std::string script(const std::string& body) {
    const fs::path file = root / ("server-" + std::to_string(++scripts) + ".sh");
    testing::writeTextFile(file, "#!/bin/sh\n" + body + "\n");
    fs::permissions(file, fs::perms::owner_all);
    return file.string();
  }

  static bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }

  fs::path signals = root / "signals.txt";
  int scripts = 0;
};

TEST_F(ScriptedServer, StoppingSendsOneTerminateSignal) {
  // Shuts down slowly, the way a server finishing its work does; a second
  // signal while it does so would be noted too.
  ScopedEnv exe("QUORVEL_WHISPER_SERVER",
                script("trap 'echo term >> \"" + signals.string() +
                       "\"; stopping=1' TERM\n"
                       "touch \"" + (root / "up").string() + "\"\n"
                       "while [ -z \"$stopping\" ]; do sleep 0.05; done\nsleep 0.3\nexit 0"));
  servers->startWhisper("ggml-base.en.bin");
  ASSERT_TRUE(eventually([&] { return fs::exists(root / "up"); }, 5s));
  servers->stopAll();
  EXPECT_EQ(testing::readTextFile(signals), "term\n");
  ASSERT_TRUE(servers->whisperProcess()->exitStatus().has_value());
  EXPECT_EQ(*servers->whisperProcess()->exitStatus(), 0);
}

TEST_F(ScriptedServer, AServerThatExitsDuringStartUpEndsTheWaitsAtOnceAndSaysWhy) {
  ServerWaits patient = testing::quickServerWaits(400);  // 20 s of probes
  servers = std::make_unique<Servers>(patient);
  ScopedEnv exe("QUORVEL_WHISPER_SERVER",
                script("echo 'loading the model'\necho 'error: the model file is truncated'\nexit 3"));
  servers->startLlama("cleanup-trained.gguf");
  servers->startWhisper("ggml-base.en.bin");
  const auto start = std::chrono::steady_clock::now();
  servers->waitForWhisper();
  EXPECT_FALSE(servers->waitUntilReady(20s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  const auto report = servers->whisperExit();
  ASSERT_TRUE(report.has_value());
  EXPECT_NE(report->find("exit status 3"), std::string::npos) << *report;
  EXPECT_NE(report->find("error: the model file is truncated"), std::string::npos) << *report;
  EXPECT_FALSE(servers->llamaExit().has_value());  // still running
}

TEST_F(ScriptedServer, AnotherProgramAnsweringOnThePortIsNotTakenForOurServer) {
  // Answers every GET with 200, like a web server someone left on the port.
  LaunchOptions foreign;
  foreign.executable = "/usr/bin/python3";
  foreign.arguments = {"-m", "http.server", "--bind", "127.0.0.1", std::to_string(whisperPort),
                       "--directory", root.path().string()};
  auto squatter = ChildProcess::launch(foreign);
  ASSERT_TRUE(squatter.ok());
  ASSERT_TRUE(eventually([&] { return !processesListeningOn(whisperPort).empty(); }, 10s));

  servers->startLlama("cleanup-trained.gguf");
  servers->startWhisper("ggml-base.en.bin");  // cannot bind: the port is taken
  EXPECT_FALSE(servers->waitUntilReady(20s));
  EXPECT_TRUE(servers->whisperExit().has_value());
  (*squatter)->terminate();
  (*squatter)->waitForExit(5s);
}

TEST_F(ScriptedServer, AServerThatKeepsExitingIsStartedAgainLaterEachTimeUnlessADictationNeedsIt) {
  ScopedEnv exe("QUORVEL_WHISPER_SERVER",
                script("echo started >> \"" + signals.string() + "\"\nsleep 0.1\nexit 1"));
  servers->startWhisper("ggml-base.en.bin");
  const auto exited = [&] { return servers->whisperExit().has_value(); };
  ASSERT_TRUE(eventually(exited, 5s));

  LogCapture log;
  auto now = std::chrono::steady_clock::now();
  // The first exit: started again at once, the report and the restart each
  // on a line of their own.
  EXPECT_TRUE(servers->restartExited(now));
  EXPECT_TRUE(log.contains("Quorvel: the speech server exited (exit status 1)"));
  const auto lines = log.lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Quorvel: starting the speech server again"), lines.end());
  // It exits again within a minute of starting: 1 s later, then 2 s.
  ASSERT_TRUE(eventually(exited, 5s));
  now += 100ms;
  EXPECT_FALSE(servers->restartExited(now));
  EXPECT_FALSE(servers->restartExited(now + 900ms));
  EXPECT_TRUE(servers->restartExited(now + 1s));
  now += 1s;
  ASSERT_TRUE(eventually(exited, 5s));
  now += 100ms;
  EXPECT_FALSE(servers->restartExited(now + 1900ms));
  // A dictation waiting for it skips the wait.
  EXPECT_TRUE(servers->restartExited(now + 1900ms, /*speechNeeded=*/true));
  EXPECT_TRUE(eventually(
      [&] { return testing::readTextFile(signals) == "started\nstarted\nstarted\nstarted\n"; }, 5s));

  ASSERT_TRUE(eventually(exited, 5s));
  servers->stopAll();
  EXPECT_FALSE(servers->restartExited(now + 200s));  // stopped on purpose: stays stopped
}

TEST(RestartBackoff, AtOnceThenDoublingWhileItKeepsExitingSoonAfterStarting) {
  using TimePoint = RestartBackoff::TimePoint;
  RestartBackoff backoff(1s, 60s, 60s);
  TimePoint now{};
  backoff.started(now);
  std::vector<long long> delays;
  for (int exit = 0; exit < 9; ++exit) {
    now += 5s;  // each run lasts 5 s
    backoff.exited(now);
    delays.push_back(std::chrono::duration_cast<std::chrono::seconds>(backoff.delay()).count());
    EXPECT_EQ(backoff.due(now), delays.back() == 0);
    now += backoff.delay();
    EXPECT_TRUE(backoff.due(now));
    backoff.started(now);
  }
  EXPECT_EQ(delays, (std::vector<long long>{0, 1, 2, 4, 8, 16, 32, 60, 60}));
  // A run of more than a minute starts the count afresh.
  now += 61s;
  backoff.exited(now);
  EXPECT_EQ(backoff.delay().count(), 0);
  // Needed: no back-off, but not twice within a second of a start.
  backoff.started(now);
  now += 200ms;
  backoff.exited(now);
  EXPECT_FALSE(backoff.due(now, true));
  EXPECT_TRUE(backoff.due(now + 800ms, true));
  EXPECT_FALSE(backoff.due(now + 800ms, false));
}

TEST(SpeechServerThreads, NeverMoreThanTheProcessorsWeMayUse) {
  cpu_set_t saved;
  ASSERT_EQ(::sched_getaffinity(0, sizeof saved, &saved), 0);
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &saved)) {
      CPU_SET(cpu, &one);
      break;
    }
  }
  ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
  const int onOne = speechServerThreads();
  ::sched_setaffinity(0, sizeof saved, &saved);
  EXPECT_EQ(onOne, 1);
  EXPECT_EQ(speechServerThreads(), std::min(4, CPU_COUNT(&saved)));
}

}  // namespace
}  // namespace quorvel
