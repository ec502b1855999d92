// Quorvel dictating through a team's servers on another machine: the real
// whisper-server and llama-server behind a real nginx that terminates TLS
// with a certificate authority made for the run and checks each user's key
// (all on loopback, set up by scripts/shared-servers). Every failure has its
// message, and no text is lost.
#include <signal.h>

#include <regex>
#include <sstream>

#include "QuickServerWaits.h"
#include "RealServerFixture.h"
#include "TeamServers.h"
#include "audio/Wav.h"
#include "engine/Pipeline.h"
#include "engine/Servers.h"
#include "engine/Transcription.h"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;

class RealRemote : public RealServerTest {
 protected:
  void SetUp() override {
    RealServerTest::SetUp();
    if (HasFatalFailure()) return;
    const std::string why = team.start();
    ASSERT_EQ(why, "");
    writeTextFile(root / "wrong-key", "0123456789abcdef0123456789abcdef\n");
    fs::permissions(root / "wrong-key", fs::perms::owner_read | fs::perms::owner_write);
  }

  // The environment of a run through the team's servers.
  void useTeam(const fs::path& speechKey, const fs::path& cleanupKey, bool trustTheTeam = true) {
    env.clear();
    env.push_back(std::make_unique<ScopedEnv>("QUORVEL_SPEECH_SERVER", team.speechAddress()));
    env.push_back(std::make_unique<ScopedEnv>("QUORVEL_SPEECH_KEY_FILE", speechKey.string()));
    env.push_back(std::make_unique<ScopedEnv>("QUORVEL_CLEANUP_SERVER", team.languageAddress()));
    env.push_back(std::make_unique<ScopedEnv>("QUORVEL_CLEANUP_KEY_FILE", cleanupKey.string()));
    env.push_back(std::make_unique<ScopedEnv>(
        "QUORVEL_CA_FILE", trustTheTeam ? std::optional(team.caFile().string()) : std::nullopt));
  }

  RemoteSettings settings() const {
    const std::string key = team.keyFile("alice").string();
    return {{team.speechAddress(), key, false}, {team.languageAddress(), key, false}, team.caFile().string(), ""};
  }

  Samples recording(const std::string& name) const {
    return decodeWav(readTextFile(speech / name)).valueOr(Samples());
  }

  ProgramRun bank() {
    writeTextFile(root / "bank.jsonl", R"({"id":"a","raw":"so um we shipped the build yesterday"})" "\n");
    return runQuorvel({"--bank", (root / "bank.jsonl").string(), (root / "out.jsonl").string()}, 120s);
  }

  fs::path speech = QUORVEL_RUNS_SPEECH_DIR;
  TeamServers team{root / "team", {"alice"}, true};
  ScopedEnv noBackendKey{"LLAMA_API_KEY", std::nullopt};
  std::vector<std::unique_ptr<ScopedEnv>> env;
};

TEST_F(RealRemote, DictatesThroughTheTeamsServersWithTheKeyAndStartsNothingHere) {
  useTeam(team.keyFile("alice"), team.keyFile("alice"));
  const ProgramRun run = runQuorvel({"--test", (speech / "a.wav").string(), "--instant"}, 120s);
  ASSERT_TRUE(run.inTime) << run.output;
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("typed:"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("with its cleanup layer"), std::string::npos) << run.output;
  // No local server was started: their logs are made at every launch.
  EXPECT_FALSE(fs::exists(data / "logs" / "whisper.log"));
  EXPECT_FALSE(fs::exists(data / "logs" / "cleanup-model.log"));

  const std::string log = team.accessLog();
  for (const char* request : {R"(alice "POST /speech/inference HTTP/1.1" 200)",
                              R"(alice "GET /language/v1/models HTTP/1.1" 200)",
                              R"(alice "POST /language/v1/chat/completions HTTP/1.1" 200)"}) {
    EXPECT_NE(log.find(request), std::string::npos) << request << " not in:\n" << log;
  }
  // No request of ours was refused; the one keyless "GET /" is the check that
  // the proxy is up.
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("\"GET / HTTP/1.1\" 401 ") != std::string::npos) continue;
    EXPECT_EQ(line.find("\" 401 "), std::string::npos) << log;
  }

  // The key is in its file and nowhere else: not in the output, the logs or the history.
  const std::string key = readTextFile(team.keyFile("alice")).substr(0, 64);
  EXPECT_EQ(run.output.find(key), std::string::npos);
  for (const auto& entry : fs::recursive_directory_iterator(root / "data")) {
    if (entry.is_regular_file() && entry.file_size() < 10'000'000) {
      EXPECT_EQ(readTextFile(entry.path()).find(key), std::string::npos) << entry.path();
    }
  }

  const ProgramRun cleaned = bank();
  ASSERT_TRUE(cleaned.inTime) << cleaned.output;
  EXPECT_EQ(cleaned.status, 0) << cleaned.output;
  EXPECT_NE(readTextFile(root / "out.jsonl").find("\"final\""), std::string::npos) << cleaned.output;
}

TEST_F(RealRemote, AWrongKeyIsRefusedAndTheRunSaysSoAndFails) {
  useTeam(team.keyFile("alice"), root / "wrong-key");
  const ProgramRun cleaned = bank();
  ASSERT_TRUE(cleaned.inTime) << cleaned.output;
  EXPECT_NE(cleaned.status, 0) << cleaned.output;
  EXPECT_NE(cleaned.output.find("the language model server refused the key (401)"), std::string::npos)
      << cleaned.output;

  useTeam(root / "wrong-key", team.keyFile("alice"));
  const ProgramRun heard = runQuorvel({"--test", (speech / "a.wav").string(), "--instant"}, 120s);
  ASSERT_TRUE(heard.inTime) << heard.output;
  EXPECT_NE(heard.status, 0) << heard.output;
  EXPECT_NE(heard.output.find("the speech server refused the key (401)"), std::string::npos) << heard.output;
  EXPECT_LT(heard.took, 30s) << heard.output;
}

TEST_F(RealRemote, ACertificateNobodyVouchedForIsRefused) {
  useTeam(team.keyFile("alice"), team.keyFile("alice"), /*trustTheTeam=*/false);
  const ProgramRun cleaned = bank();
  ASSERT_TRUE(cleaned.inTime) << cleaned.output;
  EXPECT_NE(cleaned.status, 0) << cleaned.output;
  EXPECT_NE(cleaned.output.find("Can't reach the language model server at 127.0.0.1:" +
                                std::to_string(team.proxyPort()) + ": its certificate is not trusted"),
            std::string::npos)
      << cleaned.output;
  // The handshake failed: no request got through to be logged.
  EXPECT_EQ(team.accessLog().find("/language/"), std::string::npos) << team.accessLog();
}

TEST_F(RealRemote, PlainHttpToAnotherMachineIsRefusedBeforeAnythingIsSent) {
  useTeam(team.keyFile("alice"), team.keyFile("alice"));
  // 192.0.2.0/24 is reserved for documentation: nothing is there to answer.
  ScopedEnv plain("QUORVEL_CLEANUP_SERVER", "http://192.0.2.10:8080");
  const ProgramRun cleaned = bank();
  ASSERT_TRUE(cleaned.inTime) << cleaned.output;
  EXPECT_NE(cleaned.status, 0) << cleaned.output;
  EXPECT_NE(cleaned.output.find("Can't reach the language model server at 192.0.2.10:8080: plain http"),
            std::string::npos)
      << cleaned.output;
  EXPECT_LT(cleaned.took, 15s) << "refused at once, not after a connection attempt";
}

TEST_F(RealRemote, AServerThatVanishesMidDictationIsSaidAndTheTextIsKept) {
  Servers servers(quickServerWaits(), settings());
  const auto pipeline = Pipeline::create(servers);
  ASSERT_TRUE(servers.waitUntilReady(60s)) << servers.remoteProblem().value_or("");
  ASSERT_TRUE(servers.usesLayers());
  pipeline->trained = true;
  const Samples piece = recording("a.wav");
  ASSERT_FALSE(piece.empty());
  const auto heard = transcribeOrFail(servers, piece);
  ASSERT_TRUE(heard) << heard.error();

  team.stopProxy();
  const std::string where = "127.0.0.1:" + std::to_string(team.proxyPort());
  const auto lost = transcribeOrFail(servers, piece);
  ASSERT_FALSE(lost);
  EXPECT_EQ(lost.error(), "Can't reach the speech server at " + where + ": the connection was refused");

  const std::string raw = "so um we shipped the build yesterday";
  const DictationResult result = pipeline->finish(raw, std::nullopt);
  EXPECT_NE(result.final.find("shipped the build yesterday"), std::string::npos) << result.final;
  EXPECT_EQ(servers.languageRemote()->problem(),
            "Can't reach the language model server at " + where + ": the connection was refused");
  EXPECT_EQ(servers.remoteProblem(), "Can't reach the speech server at " + where + ": the connection was refused");
}

TEST_F(RealRemote, ASlowServerPastTheTimeOutIsSaidAndTheTextIsKept) {
  Servers servers(quickServerWaits(), settings());
  const auto pipeline = Pipeline::create(servers);
  ASSERT_TRUE(servers.waitUntilReady(60s)) << servers.remoteProblem().value_or("");
  pipeline->trained = true;
  pipeline->requestTimeout = 2s;
  const Samples piece = recording("a.wav");

  // Both servers stop answering (still connected, as a machine under load).
  const pid_t stalled[] = {team.speechServer().pid(), team.languageServer().pid()};
  for (const pid_t pid : stalled) ::kill(pid, SIGSTOP);
  const auto start = std::chrono::steady_clock::now();
  const auto lost = transcribeOrFail(servers, piece, "", 2s);
  const DictationResult result = pipeline->finish("so um we shipped the build yesterday", std::nullopt);
  const auto took = std::chrono::steady_clock::now() - start;
  for (const pid_t pid : stalled) ::kill(pid, SIGCONT);

  ASSERT_FALSE(lost);
  EXPECT_NE(lost.error().find("Can't reach the speech server at"), std::string::npos) << lost.error();
  EXPECT_NE(lost.error().find(": no answer in time"), std::string::npos) << lost.error();
  EXPECT_NE(result.final.find("shipped the build yesterday"), std::string::npos) << result.final;
  EXPECT_NE(servers.languageRemote()->problem().value_or("").find("no answer in time"), std::string::npos);
  // Each request waited its time-out once; no retries piled up behind it.
  EXPECT_LT(took, 20s);
}

}  // namespace
}  // namespace quorvel::testing
