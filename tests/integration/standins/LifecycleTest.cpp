// The stand-ins as processes: which command lines they refuse, a port that
// is taken, the bearer key, the start delay and stopping on SIGTERM.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "StandinFixture.h"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;

struct RefusedCase {
  Kind kind;
  std::vector<std::string> args;
  std::string message;
};

TEST_F(StandinTest, RefusesUnknownArgumentsAndBadValuesWithStatusTwo) {
  const std::vector<RefusedCase> cases{
      {Kind::whisper, {"-m", "model.bin", "--verbose"}, "unknown argument: --verbose"},
      {Kind::whisper, {"--port", "1234", "-m"}, "expected value after -m"},
      {Kind::whisper, {"-m", "model.bin", "--port", "http"}, "invalid value for --port"},
      {Kind::whisper, {"-m", "model.bin", "--port=8080"}, "unknown argument: --port=8080"},
      {Kind::llama, {"-m", "model.gguf", "--threads", "4"}, "unknown argument: --threads"},
      {Kind::llama, {"-m", "model.gguf", "--lora", "a.gguf,,b.gguf"}, "invalid value for --lora"},
      {Kind::llama, {"-m", "model.gguf", "-fa", "maybe"}, "invalid value for -fa"},
      {Kind::llama, {"-m", "model.gguf", "--spec-ngram-simple-size-n"}, "expected value after"},
  };
  for (const RefusedCase& refused : cases) {
    StandinProcess& process = launch(refused.kind, refused.args, environment(refused.kind));
    EXPECT_EQ(process.waitExit(10s), 2) << refused.message;
    EXPECT_NE(process.standardError().find(refused.message), std::string::npos) << process.standardError();
  }
  // The refusals are logged with the arguments as given; nothing started.
  EXPECT_EQ(logged("refused", "whisper").size() + logged("refused", "llama").size(), cases.size());
  EXPECT_EQ(logged("refused", "llama").front()["args"],
            nlohmann::json({"-m", "model.gguf", "--threads", "4"}));
  EXPECT_TRUE(logged("start", "whisper").empty());
  EXPECT_TRUE(logged("start", "llama").empty());
}

TEST_F(StandinTest, APortInUseEndsWithStatusOneAndSaysWhy) {
  // A port held by another stand-in: binding must not share it.
  startReady(Kind::llama);
  StandinProcess& second = launch(Kind::whisper, defaultArgs(Kind::whisper), environment(Kind::whisper));
  EXPECT_EQ(second.waitExit(10s), 1);
  EXPECT_NE(second.standardError().find("cannot listen on 127.0.0.1:" + std::to_string(port) +
                                        ": Address already in use"),
            std::string::npos)
      << second.standardError();

  // A port held by some other program's listening socket.
  port = freeLoopbackPort();
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  StandinProcess& third = launch(Kind::llama, defaultArgs(Kind::llama), environment(Kind::llama));
  EXPECT_EQ(third.waitExit(10s), 1);
  ::close(fd);
}

TEST_F(StandinTest, EveryRequestNeedsTheBearerKeyFromTheEnvironment) {
  const auto wav = transcriptionForm("", wavBytes(1600));
  const std::string chat = R"({"messages":[{"role":"user","content":"hello"}],"stream":false})";
  for (Kind kind : {Kind::whisper, Kind::llama}) {
    port = freeLoopbackPort();
    StandinProcess& process = startReady(kind);
    auto client = loopbackClient(port);
    auto work = [&](const httplib::Headers& headers) {
      return kind == Kind::whisper
                 ? client->Post("/inference", headers, wav.body, wav.contentType.c_str())
                 : client->Post("/v1/chat/completions", headers, chat, "application/json");
    };
    const std::string ready = readinessPath(kind);
    for (const httplib::Headers& refused :
         {httplib::Headers{}, bearer("0" + key.substr(1)), httplib::Headers{{"Authorization", key}}}) {
      auto probe = client->Get(ready.c_str(), refused);
      ASSERT_TRUE(probe);
      EXPECT_EQ(probe->status, 401);
      auto answer = work(refused);
      ASSERT_TRUE(answer);
      EXPECT_EQ(answer->status, 401);
    }
    auto answer = work(bearer(key));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200) << answer->body;
    EXPECT_EQ(process.terminate(5s), 0);
  }
  for (const char* server : {"whisper", "llama"}) {
    const auto starts = logged("start", server);
    ASSERT_EQ(starts.size(), 1u) << server;
    EXPECT_TRUE(starts[0]["env_key_set"].get<bool>());
    const auto requests = logged("request", server);
    ASSERT_FALSE(requests.empty());
    std::size_t refused = 0;
    for (const auto& request : requests) refused += request["key_ok"].get<bool>() ? 0 : 1;
    EXPECT_EQ(refused, 6u) << server;
    EXPECT_EQ(logged("stop", server).size(), 1u) << server;
  }
  EXPECT_EQ(readTextFile(log).find(key), std::string::npos);  // the key itself is never written
}

TEST_F(StandinTest, WithoutAKeyInTheEnvironmentNoneIsAsked) {
  StandinProcess& process = launch(Kind::llama, defaultArgs(Kind::llama),
                                   {{"QUORVEL_STANDIN_LOG", log.string()}, {"LLAMA_API_KEY", ""}});
  ASSERT_TRUE(waitForStatus200(port, "/health", "")) << process.standardError();
  auto answer = loopbackClient(port)->Get("/health");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_FALSE(logged("start", "llama").at(0)["env_key_set"].get<bool>());
}

TEST_F(StandinTest, WhisperDoesNotListenUntilItsStartDelayHasPassed) {
  const auto launched = std::chrono::steady_clock::now();
  StandinProcess& process = launch(Kind::whisper, defaultArgs(Kind::whisper),
                                   environment(Kind::whisper, {{"QUORVEL_STANDIN_START_MS", "800"}}));
  auto early = loopbackClient(port)->Get("/", bearer(key));
  EXPECT_FALSE(early);
  if (!early) {
    EXPECT_EQ(early.error(), httplib::Error::Connection);
  }
  ASSERT_TRUE(waitForStatus200(port, "/", key)) << process.standardError();
  EXPECT_GE(std::chrono::steady_clock::now() - launched, 800ms);
  EXPECT_EQ(process.terminate(5s), 0);
}

TEST_F(StandinTest, LlamaAnswers503WhileItsModelLoads) {
  const auto launched = std::chrono::steady_clock::now();
  StandinProcess& process = launch(Kind::llama, defaultArgs(Kind::llama),
                                   environment(Kind::llama, {{"QUORVEL_STANDIN_START_MS", "1500"}}));
  auto client = loopbackClient(port);
  // It listens at once; poll until the first answer comes back.
  auto health = client->Get("/health", bearer(key));
  for (int attempt = 0; attempt < 100 && !health; ++attempt) {
    std::this_thread::sleep_for(20ms);
    health = client->Get("/health", bearer(key));
  }
  ASSERT_TRUE(health) << process.standardError();
  if (std::chrono::steady_clock::now() - launched < 1200ms) {  // still loading, unless the machine stalled
    EXPECT_EQ(health->status, 503);
    auto chat = client->Post("/v1/chat/completions", bearer(key),
                             R"({"messages":[{"role":"user","content":"hi"}]})", "application/json");
    ASSERT_TRUE(chat);
    EXPECT_EQ(chat->status, 503);
  }
  ASSERT_TRUE(waitForStatus200(port, "/health", key));
  EXPECT_GE(std::chrono::steady_clock::now() - launched, 1500ms);
}

TEST_F(StandinTest, SigtermDuringTheStartDelayEndsAtOnce) {
  for (Kind kind : {Kind::whisper, Kind::llama}) {
    port = freeLoopbackPort();
    StandinProcess& process =
        launch(kind, defaultArgs(kind), environment(kind, {{"QUORVEL_STANDIN_START_MS", "60000"}}));
    std::this_thread::sleep_for(300ms);
    const auto signalled = std::chrono::steady_clock::now();
    EXPECT_EQ(process.terminate(5s), 0) << process.standardError();
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 2s);
  }
}

}  // namespace
}  // namespace quorvel::testing
