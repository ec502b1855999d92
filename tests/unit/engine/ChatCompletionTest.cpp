#include "engine/ChatCompletion.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

namespace quorvel {
namespace {

using namespace std::chrono_literals;

// A language-model server that answers whatever the test sets, on a free port.
class ChatCompletionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Post("/v1/chat/completions", [this](const httplib::Request& request,
                                              httplib::Response& response) {
      lastBody = request.body;
      lastAuthorization = request.get_header_value("Authorization");
      if (streamed.empty()) {
        response.set_content(wholeAnswer, "application/json");
        return;
      }
      response.set_chunked_content_provider("text/event-stream",
                                            [this](size_t, httplib::DataSink& sink) {
                                              for (const auto& line : streamed) {
                                                const std::string event = line + "\n\n";
                                                sink.write(event.data(), event.size());
                                              }
                                              sink.done();
                                              return true;
                                            });
    });
    port = server.bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server.listen_after_bind(); });
    // stop() does nothing before the server runs, so wait until it does.
    for (int i = 0; i < 500 && !server.is_running(); ++i) std::this_thread::sleep_for(5ms);
  }
  void TearDown() override {
    server.stop();
    thread.join();
  }

  ChatServer target() const { return {port, "KEY", {}, nullptr, ""}; }

  httplib::Server server;
  std::thread thread;
  int port = 0;
  std::string wholeAnswer;
  std::vector<std::string> streamed;
  std::string lastBody, lastAuthorization;
};

TEST_F(ChatCompletionTest, WholeAnswerIsTrimmedOfSpacesAndQuotesAndReportsTimings) {
  wholeAnswer = R"({"choices":[{"message":{"content":" \u201cHello there.\u201d\n"}}],
                    "timings":{"prompt_n":5,"prompt_ms":1.5}})";
  ChatRequest request;
  request.messages = {{"system", "Clean."}, {"user", "hello there"}};
  request.maxTokens = 26;
  std::optional<EngineTimings> timings;
  request.onTimings = [&](const EngineTimings& t) { timings = t; };
  auto answer = sendChatRequest(target(), request);
  ASSERT_TRUE(answer.ok()) << answer.error();
  EXPECT_EQ(*answer, "Hello there.");
  ASSERT_TRUE(timings);
  EXPECT_EQ(timings->read, 5);
  EXPECT_EQ(lastAuthorization, "Bearer KEY");
  EXPECT_EQ(Json::parse(lastBody), Json::parse(R"({"messages":[{"role":"system","content":"Clean."},
      {"role":"user","content":"hello there"}],"temperature":0.0,"max_tokens":26,
      "chat_template_kwargs":{"enable_thinking":false},"stream":false})"));
  // Compact serialisation: no spaces after separators.
  EXPECT_EQ(lastBody.find("\": "), std::string::npos);
  EXPECT_EQ(lastBody.find(", "), std::string::npos);
}

TEST_F(ChatCompletionTest, AnswersWithoutTheExpectedMembersGiveEmptyTextButNonJsonFails) {
  for (const char* body : {R"({"error":"overloaded"})", R"({"choices":[]})",
                           R"({"choices":[{"message":{"content":5}}]})", "[1,2]"}) {
    wholeAnswer = body;
    auto answer = sendChatRequest(target(), ChatRequest{});
    ASSERT_TRUE(answer.ok()) << body;
    EXPECT_EQ(*answer, "") << body;
  }
  wholeAnswer = "<html>busy</html>";
  EXPECT_FALSE(sendChatRequest(target(), ChatRequest{}).ok());
}

TEST_F(ChatCompletionTest, StreamGivesGrowingPartialsAndSkipsBrokenLines) {
  streamed = {
      R"(data: {"choices":[{"delta":{"content":"Hi"}}]})",
      ": a comment line",
      "data: not json",
      R"(data: {"choices":[{"delta":{"content":""}}]})",
      R"(data: {"choices":[{"delta":{"content":" there \u2014 friend."}}],"timings":{"prompt_n":9}})",
      "data: [DONE]",
      R"(data: {"choices":[{"delta":{"content":" ignored"}}]})",
  };
  ChatRequest request;
  std::vector<std::string> partials;
  request.onPartial = [&](const std::string& text) { partials.push_back(text); };
  int timingReports = 0;
  request.onTimings = [&](const EngineTimings&) { ++timingReports; };
  auto answer = sendChatRequest(target(), request);
  ASSERT_TRUE(answer.ok()) << answer.error();
  EXPECT_EQ(*answer, "Hi there \u2014 friend.");  // the answer keeps its dashes
  ASSERT_EQ(partials.size(), 2u);
  EXPECT_EQ(partials[0], "Hi");
  EXPECT_NE(partials[1].find("there"), std::string::npos);
  EXPECT_EQ(partials[1].find("\u2014"), std::string::npos);  // partials have them replaced
  EXPECT_EQ(timingReports, 1);
  EXPECT_TRUE(Json::parse(lastBody)["stream"].get<bool>());
}

TEST_F(ChatCompletionTest, LayersAreScaledByTheRequestedAdapter) {
  wholeAnswer = R"({"choices":[{"message":{"content":"ok"}}]})";
  ChatServer withLayers{port, "KEY", {{"cleanup", 0, "/m/cleanup-3.gguf"}, {"style", 1, "/m/s.gguf"}}, nullptr, ""};
  ChatRequest request;
  request.adapter = "cleanup";
  ASSERT_TRUE(sendChatRequest(withLayers, request).ok());
  EXPECT_EQ(Json::parse(lastBody)["lora"],
            Json::parse(R"([{"id":0,"scale":1.0},{"id":1,"scale":0.0}])"));
}

TEST(ChatCompletion, UnreachableServerFails) {
  ChatRequest request;
  request.timeout = 2000ms;
  EXPECT_FALSE(sendChatRequest({1, "KEY", {}, nullptr, ""}, request).ok());
}

}  // namespace
}  // namespace quorvel
