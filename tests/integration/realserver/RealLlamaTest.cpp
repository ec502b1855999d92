// Quorvel's Servers, requests and "--bank" run with the real llama-server and
// a tiny random-weight model (its answers are nonsense, so the guards refuse
// them: these tests check the contract, never the quality of a cleanup).
#include <signal.h>
#include <sys/wait.h>

#include "QuickServerWaits.h"
#include "RealServerFixture.h"
#include "engine/CleanupModel.h"
#include "engine/Config.h"
#include "engine/Pipeline.h"
#include "engine/Servers.h"
#include "support/ChildProcess.h"
#include "support/Http.h"
#include "support/Json.h"
#include "support/PortListeners.h"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;

struct ModelLayout {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;  // test model → file in models/
  bool trained;
  bool layers;
};

const ModelLayout kStandAlone{"stand-alone trained model", {{"model.gguf", "cleanup-trained.gguf"}}, true, false};
const ModelLayout kBaseWithLayer{"base model with a cleanup layer",
                                 {{"model.gguf", "qwen3-1.7b-q4_k_m.gguf"},
                                  {"adapter.gguf", "adapters/cleanup-3.gguf"}},
                                 true,
                                 true};
const ModelLayout kBaseAlone{"base model alone", {{"model.gguf", "qwen3-1.7b-q4_k_m.gguf"}}, false, false};

class RealLlama : public RealServerTest {
 protected:
  void put(const ModelLayout& layout) {
    for (const auto& [model, file] : layout.files) putModel(model, file);
    Config::resetForTesting();
  }

  long status(const std::string& method, const std::string& path, bool withKey,
              const std::string& body = "") {
    HttpRequest request;
    request.method = method;
    request.url = "http://127.0.0.1:" + std::to_string(llamaPort) + path;
    request.timeout = 30s;
    request.body = body;
    request.headers = {{"Content-Type", "application/json"}};
    if (withKey) request.headers.emplace_back("Authorization", "Bearer " + servers.apiKey());
    const auto answer = httpFetch(request);
    return answer ? answer->status : 0;
  }

  void expectNoRefusedArgument() {
    const std::string log = logText("cleanup-model.log");
    for (const char* refusal : {"unknown argument", "invalid argument", "error while handling argument"}) {
      EXPECT_EQ(log.find(refusal), std::string::npos) << refusal << " in:\n" << log;
    }
  }

  Servers servers{quickServerWaits(400)};
};

class RealLlamaModes : public RealLlama, public ::testing::WithParamInterface<ModelLayout> {};

TEST_P(RealLlamaModes, StartsAnswersStreamsAndStopsCleanly) {
  const ModelLayout& layout = GetParam();
  put(layout);
  const CleanupModelChoice choice = chooseCleanupModel();
  EXPECT_EQ(choice.trained, layout.trained) << choice.description;
  EXPECT_EQ(Config::usesAdapters(), layout.layers);

  servers.startLlama(choice.modelFile);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(servers.waitForLlama()) << servers.llamaExit().value_or("") << logText("cleanup-model.log");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  expectNoRefusedArgument();

  EXPECT_EQ(status("GET", "/v1/models", true), 200);
  EXPECT_EQ(status("GET", "/v1/models", false), 401);
  const Json chat = {{"messages", {{{"role", "user"}, {"content", "hello there"}}}},
                     {"max_tokens", 4},
                     {"temperature", 0},
                     {"chat_template_kwargs", {{"enable_thinking", false}}}};
  EXPECT_EQ(status("POST", "/v1/chat/completions", false, chat.dump()), 401);
  if (layout.layers) {
    Json withLayer = chat;
    withLayer["lora"] = {{{"id", 0}, {"scale", 1.0}}};
    EXPECT_EQ(status("POST", "/v1/chat/completions", true, withLayer.dump()), 200);
  }

  const auto pipeline = Pipeline::create(servers);
  pipeline->trained = choice.trained;
  const MessageList messages = {{"system", "Clean up."}, {"user", "so um we shipped it"}};
  std::optional<EngineTimings> timings;
  const auto whole = pipeline->complete(messages, "cleanup", 12, 0, {},
                                        [&](const EngineTimings& t) { timings = t; });
  ASSERT_TRUE(whole.ok()) << whole.error();
  EXPECT_FALSE(whole->empty());
  ASSERT_TRUE(timings.has_value());
  EXPECT_GT(timings->read, 0);

  std::vector<std::string> partials;
  const auto streamed = pipeline->complete(messages, "cleanup", 12, 0,
                                           [&](const std::string& text) { partials.push_back(text); });
  ASSERT_TRUE(streamed.ok()) << streamed.error();
  EXPECT_FALSE(partials.empty());
  EXPECT_FALSE(streamed->empty());

  const auto process = servers.llamaProcess();
  servers.stopAll();
  ASSERT_TRUE(process->exitStatus().has_value());
  EXPECT_TRUE(WIFEXITED(*process->exitStatus()) && WEXITSTATUS(*process->exitStatus()) == 0)
      << describeWaitStatus(*process->exitStatus()) << "\n" << logText("cleanup-model.log");
  EXPECT_EQ(logText("cleanup-model.log").find("second interrupt"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(EachModelLayout, RealLlamaModes,
                         ::testing::Values(kStandAlone, kBaseWithLayer, kBaseAlone),
                         [](const auto& info) {
                           return std::string(info.param.layers    ? "BaseWithLayer"
                                              : info.param.trained ? "StandAlone"
                                                                   : "BaseAlone");
                         });

TEST_F(RealLlama, AKilledServerIsReportedPromptly) {
  put(kStandAlone);
  servers.startLlama("cleanup-trained.gguf");
  ASSERT_TRUE(servers.waitForLlama()) << logText("cleanup-model.log");
  ::kill(servers.llamaProcess()->pid(), SIGKILL);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(servers.waitForLlama());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  const auto report = servers.llamaExit();
  ASSERT_TRUE(report.has_value());
  EXPECT_NE(report->find("killed by signal 9"), std::string::npos) << *report;
}

TEST_F(RealLlama, AModelThatIsNotWholeEndsTheStartAtOnceWithTheServersWords) {
  const std::string whole = readTextFile(realServerModel("model.gguf"));
  writeTextFile(data / "models" / "cleanup-trained.gguf", whole.substr(0, whole.size() / 3));
  Config::resetForTesting();
  servers.startLlama("cleanup-trained.gguf");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(servers.waitForLlama());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  const auto report = servers.llamaExit();
  ASSERT_TRUE(report.has_value());
  EXPECT_NE(report->find("the end of cleanup-model.log"), std::string::npos) << *report;
}

TEST_F(RealLlama, ACommaAndAQuoteInTheDataFolderStillLoadTheLayer) {
  const fs::path odd = root / "a,b \"c\"" / "Quorvel";
  ScopedEnv oddRoot("QUORVEL_ROOT", odd.string());
  data = odd;
  Config::resetForTesting();
  put(kBaseWithLayer);
  ASSERT_TRUE(Config::usesAdapters());
  servers.startLlama("cleanup-trained.gguf");
  ASSERT_TRUE(servers.waitForLlama()) << servers.llamaExit().value_or("") << logText("cleanup-model.log");
  expectNoRefusedArgument();
  Json withLayer = {{"messages", {{{"role", "user"}, {"content", "hello"}}}},
                    {"max_tokens", 2},
                    {"lora", {{{"id", 0}, {"scale", 1.0}}}}};
  EXPECT_EQ(status("POST", "/v1/chat/completions", true, withLayer.dump()), 200);
  servers.stopAll();
}

TEST_F(RealLlama, ABankRunFallsBackOnNonsenseAndSkipsTheModelForCleanText) {
  put(kBaseAlone);
  const std::vector<std::string> bank = {
      R"({"id":"a","raw":"um so we shipped the build yesterday and uh it works"})",
      R"({"id":"b","raw":"We should check the report tomorrow."})",
      R"({"id":"c","raw":"so like the the meeting is um on friday i think"})",
  };
  std::string text;
  for (const auto& line : bank) text += line + "\n";
  writeTextFile(root / "bank.jsonl", text);
  const ProgramRun run =
      runQuorvel({"--bank", (root / "bank.jsonl").string(), (root / "out.jsonl").string()}, 180s);
  ASSERT_TRUE(run.inTime) << run.output;
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("language model: standard"), std::string::npos) << run.output;

  std::vector<Json> records;
  std::istringstream out(readTextFile(root / "out.jsonl"));
  for (std::string line; std::getline(out, line);) records.push_back(Json::parse(line));
  ASSERT_EQ(records.size(), bank.size()) << run.output;
  EXPECT_EQ(records[0]["path"], "fallback");
  EXPECT_EQ(records[1]["path"], "fast");
  EXPECT_EQ(records[2]["path"], "fallback");
  for (const auto& record : records) EXPECT_FALSE(record["final"].get<std::string>().empty()) << record;
  expectNoRefusedArgument();
}

}  // namespace
}  // namespace quorvel::testing
