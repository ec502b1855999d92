// Faults on purpose, for both stand-ins and both answer styles: each one
// fails the way a broken server would, and a scripted fault touches only
// its own request.
#include <thread>

#include "StandinFixture.h"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

struct FaultCase {
  Kind kind;
  std::string fault;
  bool stream;     // llama only
  bool scripted;   // from a script line, else QUORVEL_STANDIN_FAULT
};

std::string describe(const FaultCase& c) {
  return std::string(c.kind == Kind::whisper ? "whisper " : "llama ") + c.fault + (c.stream ? " streamed" : "") +
         (c.scripted ? " (script)" : " (environment)");
}

class FaultTest : public StandinTest {
 protected:
  // One work request; the read time-out is short so "hang" shows as a time-out.
  httplib::Result work(Kind kind, bool stream, std::string& received, std::chrono::milliseconds timeout = 3s,
                       const std::string& dictation = "please fail now") {
    received.clear();
    auto client = loopbackClient(port, timeout);
    httplib::Request request;
    request.method = "POST";
    request.headers = bearer(key);
    if (kind == Kind::whisper) {
      const auto form = transcriptionForm("", wavBytes(1600));
      request.path = "/inference";
      request.set_header("Content-Type", form.contentType);
      request.body = form.body;
    } else {
      request.path = "/v1/chat/completions";
      request.set_header("Content-Type", "application/json");
      request.body = json{{"messages", {{{"role", "user"}, {"content", "Dictation: " + dictation}}}},
                          {"stream", stream}}
                         .dump();
    }
    request.content_receiver = [&received](const char* data, std::size_t length, std::uint64_t, std::uint64_t) {
      received.append(data, length);
      return true;
    };
    return client->send(request);
  }
};

TEST_F(FaultTest, EachFaultFailsItsRequestTheWayABrokenServerWould) {
  const std::vector<FaultCase> cases{
      {Kind::whisper, "http500", false, false}, {Kind::whisper, "notjson", false, true},
      {Kind::whisper, "notext", false, true},   {Kind::whisper, "drop", false, false},
      {Kind::whisper, "exit", false, true},     {Kind::whisper, "hang", false, false},
      {Kind::llama, "http500", true, true},     {Kind::llama, "notjson", false, false},
      {Kind::llama, "notext", false, false},    {Kind::llama, "notext", true, true},
      {Kind::llama, "drop", false, true},       {Kind::llama, "drop", true, false},
      {Kind::llama, "exit", true, false},       {Kind::llama, "hang", true, true},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(describe(c));
    port = freeLoopbackPort();
    std::map<std::string, std::string> extra{{"QUORVEL_STANDIN_MS_PER_TOKEN", "20"}};
    if (c.scripted) {
      writeTextFile(script, c.kind == Kind::whisper
                                ? "{\"text\": \"faulty\", \"fault\": \"" + c.fault + "\"}\n{\"text\": \"fine\"}\n"
                                : "{\"match\": \"please fail now\", \"answer\": \"one two three\", \"fault\": \"" +
                                      c.fault + "\"}\n");
      extra["QUORVEL_STANDIN_SCRIPT"] = script.string();
    } else {
      extra["QUORVEL_STANDIN_FAULT"] = c.fault;
    }
    StandinProcess& process = startReady(c.kind, extra);  // readiness is never faulted
    std::string received;
    auto result = work(c.kind, c.stream, received, c.fault == "hang" ? 700ms : 5s);

    if (c.fault == "http500") {
      ASSERT_TRUE(result);
      EXPECT_EQ(result->status, 500);
      EXPECT_TRUE(json::parse(received, nullptr, false).contains("error"));
    } else if (c.fault == "notjson") {
      ASSERT_TRUE(result);
      EXPECT_EQ(result->status, 200);
      EXPECT_TRUE(json::parse(received, nullptr, false).is_discarded()) << received;
    } else if (c.fault == "notext" && !c.stream) {
      ASSERT_TRUE(result);
      EXPECT_EQ(result->status, 200);
      const json body = json::parse(received, nullptr, false);
      EXPECT_TRUE(body.is_object()) << received;
      EXPECT_FALSE(body.contains(c.kind == Kind::whisper ? "text" : "choices")) << received;
    } else if (c.fault == "notext") {
      ASSERT_TRUE(result);
      const auto payloads = eventPayloads(received);
      ASSERT_FALSE(payloads.empty());
      EXPECT_EQ(payloads.back(), "[DONE]");
      for (std::size_t i = 0; i + 1 < payloads.size(); ++i) {
        EXPECT_FALSE(json::parse(payloads[i]).contains("choices")) << payloads[i];
      }
    } else if (c.fault == "drop" && !c.stream) {
      EXPECT_FALSE(result);  // announced length, half a body, closed
      EXPECT_TRUE(json::parse(received, nullptr, false).is_discarded()) << received;
    } else if (c.fault == "drop") {
      EXPECT_FALSE(result);  // the chunked body never ends properly
      const auto payloads = eventPayloads(received);
      ASSERT_EQ(payloads.size(), 2u) << received;  // the role, then the first token
      EXPECT_EQ(json::parse(payloads[1])["choices"][0]["delta"]["content"], c.scripted ? "one" : "please");
    } else if (c.fault == "exit") {
      EXPECT_FALSE(result);
      EXPECT_EQ(process.waitExit(5s), 1);
      continue;
    } else if (c.fault == "hang") {
      ASSERT_FALSE(result);
      EXPECT_EQ(result.error(), httplib::Error::Read);
      EXPECT_TRUE(received.empty());
      // A pending hang does not keep the server from stopping.
      const auto signalled = std::chrono::steady_clock::now();
      EXPECT_EQ(process.terminate(5s), 0);
      EXPECT_LT(std::chrono::steady_clock::now() - signalled, 3s);
      continue;
    }
    // The server is still up; a scripted fault was for that request only.
    EXPECT_TRUE(waitForStatus200(port, readinessPath(c.kind), key, 2s));
    if (c.scripted) {
      auto next = work(c.kind, false, received, 5s, "all is well");
      ASSERT_TRUE(next);
      EXPECT_EQ(next->status, 200) << received;
      const json body = json::parse(received, nullptr, false);
      if (c.kind == Kind::whisper) {
        EXPECT_EQ(body.value("text", ""), "fine");
      } else {
        EXPECT_EQ(body["choices"][0]["message"]["content"], "all is well");
      }
    }
  }
}

}  // namespace
}  // namespace quorvel::testing
