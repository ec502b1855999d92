// The llama stand-in's chat completions: answers by match, streaming token
// by token with timings, the token limit, adapters and malformed bodies.
#include <thread>

#include "StandinFixture.h"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

json chatBody(const std::string& userText, bool stream, std::optional<int> maxTokens = std::nullopt) {
  json body = {{"messages",
                {{{"role", "system"}, {"content", "Clean up this dictated text. Output only the cleaned text."}},
                 {{"role", "user"}, {"content", "um hello there"}},
                 {{"role", "assistant"}, {"content", "Hello there."}},
                 {{"role", "user"}, {"content", userText}}}},
               {"temperature", 0},
               {"chat_template_kwargs", {{"enable_thinking", false}}},
               {"stream", stream}};
  if (maxTokens) body["max_tokens"] = *maxTokens;
  return body;
}

struct Piece {
  Clock::time_point at;
  std::string data;
};

class LlamaStandinTest : public StandinTest {
 protected:
  httplib::Result complete(const json& body) {
    return loopbackClient(port)->Post("/v1/chat/completions", bearer(key), body.dump(), "application/json");
  }

  // The whole answer's content, or a marker when there is none.
  std::string content(const json& body) {
    auto answer = complete(body);
    if (!answer || answer->status != 200) return "<failed>";
    return json::parse(answer->body)["choices"][0]["message"]["content"].get<std::string>();
  }

  // A streamed answer as it arrived, chunk by chunk.
  std::pair<httplib::Result, std::vector<Piece>> streamed(const json& body) {
    std::vector<Piece> pieces;
    httplib::Request request;
    request.method = "POST";
    request.path = "/v1/chat/completions";
    request.headers = bearer(key);
    request.set_header("Content-Type", "application/json");
    request.body = body.dump();
    request.content_receiver = [&pieces](const char* data, std::size_t length, std::uint64_t, std::uint64_t) {
      pieces.push_back({Clock::now(), std::string(data, length)});
      return true;
    };
    auto result = loopbackClient(port)->send(request);
    return {std::move(result), std::move(pieces)};
  }
};

std::string joined(const std::vector<Piece>& pieces) {
  std::string all;
  for (const Piece& piece : pieces) all += piece.data;
  return all;
}

TEST_F(LlamaStandinTest, AnswersByMatchOnTheDictationOrWithTheDictationUnchanged) {
  writeTextFile(script,
                "{\"text\": \"a transcript for whisper\"}\n"
                "{\"match\": \"so um the meeting is at three\", \"answer\": \"The meeting is at three.\"}\n"
                "{\"match\": \"um hello there\", \"answer\": \"never: only the last user message counts\"}\n"
                "{\"match\": \"no answer here\"}\n");
  StandinProcess& process = startReady(Kind::llama, {{"QUORVEL_STANDIN_SCRIPT", script.string()}});
  // With a header, the dictation is what follows its last "Dictation: ".
  EXPECT_EQ(content(chatBody("Names: Ann, Bo\nField: notes\nDictation: so um the meeting is at three", false)),
            "The meeting is at three.");
  // Without one, the whole message is the dictation.
  EXPECT_EQ(content(chatBody("so um the meeting is at three", false)), "The meeting is at three.");
  EXPECT_EQ(content(chatBody("Field: text\nDictation: nothing scripted for this", false)),
            "nothing scripted for this");
  EXPECT_EQ(content(chatBody("so um the meeting is at three ", false)), "so um the meeting is at three ");
  EXPECT_NE(process.standardError().find("script line 4 skipped"), std::string::npos);
  EXPECT_EQ(process.standardError().find("script line 1"), std::string::npos);
}

TEST_F(LlamaStandinTest, StreamsOneTokenPerEventThenTimingsAndDone) {
  writeTextFile(script, "{\"match\": \"hello there my friend\", \"answer\": \"Hello there, my friend.\"}\n");
  startReady(Kind::llama, {{"QUORVEL_STANDIN_SCRIPT", script.string()},
                           {"QUORVEL_STANDIN_MS_PER_TOKEN", "60"},
                           {"QUORVEL_STANDIN_MS_PER_PROMPT_TOKEN", "2.5"}});
  const json body = chatBody("Field: email\nDictation: hello there my friend", true);
  auto [result, pieces] = streamed(body);
  ASSERT_TRUE(result) << httplib::to_string(result.error());
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->get_header_value("Content-Type"), "text/event-stream");

  const std::vector<std::string> payloads = eventPayloads(joined(pieces));
  ASSERT_EQ(payloads.size(), 7u) << joined(pieces);  // role, four tokens, final, [DONE]
  EXPECT_EQ(payloads.back(), "[DONE]");
  std::vector<std::string> tokens;
  for (std::size_t i = 0; i + 1 < payloads.size(); ++i) {
    const json event = json::parse(payloads[i]);
    const json& delta = event["choices"][0]["delta"];
    if (delta.contains("content") && delta["content"].is_string()) tokens.push_back(delta["content"]);
    EXPECT_EQ(event.contains("timings"), i == payloads.size() - 2) << payloads[i];
  }
  EXPECT_EQ(tokens, (std::vector<std::string>{"Hello", " there,", " my", " friend."}));

  const json last = json::parse(payloads[payloads.size() - 2]);
  EXPECT_EQ(last["choices"][0]["finish_reason"], "stop");
  const json& timings = last["timings"];
  const int promptWords = 10 + 3 + 2 + 7;  // the words of all four messages
  EXPECT_EQ(timings["prompt_n"], promptWords);
  EXPECT_DOUBLE_EQ(timings["prompt_ms"].get<double>(), promptWords * 2.5);
  EXPECT_EQ(timings["predicted_n"], 4);
  EXPECT_TRUE(timings["predicted_ms"].is_number_float());
  EXPECT_DOUBLE_EQ(timings["predicted_ms"].get<double>(), 240.0);
  EXPECT_LE(timings["draft_n_accepted"].get<int>(), timings["draft_n"].get<int>());
  EXPECT_LE(timings["draft_n"].get<int>(), 3);

  // The tokens arrived one by one, not as one late block.
  std::vector<Clock::time_point> tokenArrivals;
  for (const Piece& piece : pieces) {
    if (piece.data.find("\"content\":\"") != std::string::npos) tokenArrivals.push_back(piece.at);
  }
  ASSERT_EQ(tokenArrivals.size(), 4u);
  EXPECT_GE(tokenArrivals.back() - tokenArrivals.front(), 150ms);
}

TEST_F(LlamaStandinTest, AWholeAnswerCarriesTheSameTimings) {
  startReady(Kind::llama, {{"QUORVEL_STANDIN_MS_PER_TOKEN", "10"}});
  auto answer = complete(chatBody("Dictation: one two three", false));
  ASSERT_TRUE(answer);
  const json body = json::parse(answer->body);
  EXPECT_EQ(body["choices"][0]["message"]["role"], "assistant");
  EXPECT_EQ(body["choices"][0]["message"]["content"], "one two three");
  EXPECT_EQ(body["timings"]["predicted_n"], 3);
  EXPECT_DOUBLE_EQ(body["timings"]["predicted_ms"].get<double>(), 30.0);
  // Copying the dictation, every token after the first was drafted and accepted.
  EXPECT_EQ(body["timings"]["draft_n"], 2);
  EXPECT_EQ(body["timings"]["draft_n_accepted"], 2);
}

TEST_F(LlamaStandinTest, APromptIsReadOnlyPastWhatTheSlotAlreadyHolds) {
  startReady(Kind::llama, {{"QUORVEL_STANDIN_MS_PER_PROMPT_TOKEN", "2"}});
  struct Step {
    std::string user;
    int read, cached;
  };
  const int shared = 10 + 3 + 2;  // system, example and answer words every request repeats
  const Step steps[] = {
      {"Dictation: one two three", shared + 4, 0},  // a cold slot reads everything
      {"Dictation: one two three", 1, shared + 3},  // the same prompt: only the last token again
      {"Dictation: one two three four five", 2, shared + 4},  // a warmed prompt that grew
      {"Field: notes\nDictation: one two three", 6, shared},  // a new header breaks the prefix
  };
  for (const Step& step : steps) {
    auto answer = complete(chatBody(step.user, false, 1));
    ASSERT_TRUE(answer);
    const json body = json::parse(answer->body);
    EXPECT_EQ(body["timings"]["prompt_n"], step.read) << step.user;
    EXPECT_EQ(body["timings"]["cache_n"], step.cached) << step.user;
    EXPECT_DOUBLE_EQ(body["timings"]["prompt_ms"].get<double>(), step.read * 2.0) << step.user;
    EXPECT_EQ(body["usage"]["prompt_tokens"], step.read + step.cached) << step.user;
  }
}

TEST_F(LlamaStandinTest, EachSlotKeepsItsOwnPromptAndARequestFindsIt) {
  std::vector<std::string> args = llamaArgs({"-m", (dir / "cleanup.gguf").string()});
  args.insert(args.end(), {"-np", "2"});
  StandinProcess& process = launch(Kind::llama, args, environment(Kind::llama));
  ASSERT_TRUE(waitForStatus200(port, "/health", key)) << process.standardError();
  auto read = [&](const std::string& user) {
    const json body = {{"messages", {{{"role", "user"}, {"content", user}}}}, {"max_tokens", 1}};
    auto answer = complete(body);
    return answer ? json::parse(answer->body)["timings"]["prompt_n"].get<int>() : -1;
  };
  const std::string first = "the first dictation", second = "another one entirely";
  EXPECT_GT(read(first), 1);
  EXPECT_GT(read(second), 1);  // the least recently used slot, so the first stays held
  EXPECT_EQ(read(first), 1);
  EXPECT_EQ(read(second), 1);
}

TEST_F(LlamaStandinTest, MaxTokensCutsTheAnswer) {
  startReady(Kind::llama);
  const std::string dictation = "Dictation: first second third fourth";
  auto cut = complete(chatBody(dictation, false, 2));
  ASSERT_TRUE(cut);
  const json whole = json::parse(cut->body);
  EXPECT_EQ(whole["choices"][0]["message"]["content"], "first second");
  EXPECT_EQ(whole["choices"][0]["finish_reason"], "length");
  EXPECT_EQ(whole["timings"]["predicted_n"], 2);
  EXPECT_EQ(content(chatBody(dictation, false, 0)), "");
  EXPECT_EQ(content(chatBody(dictation, false, 4)), "first second third fourth");
  EXPECT_EQ(content(chatBody(dictation, false, -1)), "first second third fourth");

  auto [result, pieces] = streamed(chatBody(dictation, true, 1));
  ASSERT_TRUE(result);
  const auto payloads = eventPayloads(joined(pieces));
  ASSERT_EQ(payloads.size(), 4u);  // role, one token, final, [DONE]
  EXPECT_EQ(json::parse(payloads[1])["choices"][0]["delta"]["content"], "first");
  EXPECT_EQ(json::parse(payloads[2])["timings"]["predicted_n"], 1);
}

TEST_F(LlamaStandinTest, AcceptsAndLogsAdapterScalesForLoadedAdapters) {
  const std::vector<std::string> args = llamaArgs(
      {"-m", (dir / "base.gguf").string(), "--lora-init-without-apply", "--lora",
       (dir / "cleanup-3.gguf").string() + "," + (dir / "style-1.gguf").string()});
  StandinProcess& process = launch(Kind::llama, args, environment(Kind::llama));
  ASSERT_TRUE(waitForStatus200(port, "/health", key)) << process.standardError();

  json body = chatBody("hello", false);
  body["lora"] = {{{"id", 0}, {"scale", 1.0}}, {{"id", 1}, {"scale", 0.0}}};
  EXPECT_EQ(content(body), "hello");
  body["lora"] = {{{"id", 2}, {"scale", 1.0}}};
  auto refused = complete(body);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 400);

  const auto requests = logged("request", "llama");
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[requests.size() - 2]["body"]["lora"], json({{{"id", 0}, {"scale", 1.0}}, {{"id", 1}, {"scale", 0.0}}}));
  EXPECT_EQ(requests.back()["error"], "invalid adapter id 2");
  EXPECT_EQ(logged("start", "llama").at(0)["args"], json(args));
}

TEST_F(LlamaStandinTest, MalformedBodiesGet400AndTheServerCarriesOn) {
  StandinProcess& process = startReady(Kind::llama);
  const std::vector<std::string> bodies{
      "",
      "{\"messages\": [",
      "[1, 2, 3]",
      "{}",
      "{\"messages\": []}",
      "{\"messages\": [{\"content\": \"no role\"}]}",
      "{\"messages\": [{\"role\": \"user\", \"content\": 7}]}",
      "{\"messages\": [{\"role\": \"user\", \"content\": \"x\"}], \"stream\": \"yes\"}",
      "{\"messages\": [{\"role\": \"user\", \"content\": \"x\"}], \"max_tokens\": \"ten\"}",
      "{\"messages\": [{\"role\": \"user\", \"content\": \"x\"}], \"lora\": [{\"id\": 0, \"scale\": 1}]}",
      "{\"messages\": [{\"role\": \"user\", \"content\": \"\\udc00 bad surrogate\"}]}",
  };
  auto client = loopbackClient(port);
  for (const std::string& body : bodies) {
    auto answer = client->Post("/v1/chat/completions", bearer(key), body, "application/json");
    ASSERT_TRUE(answer) << body;
    EXPECT_EQ(answer->status, 400) << body;
    EXPECT_TRUE(json::parse(answer->body, nullptr, false).contains("error")) << body;
  }
  // Content given as a list of text parts is read too.
  const std::string parts =
      "{\"messages\": [{\"role\": \"user\", \"content\": [{\"type\": \"text\", \"text\": \"in \\u00e9 parts\"}]}]}";
  EXPECT_EQ(json::parse(client->Post("/v1/chat/completions", bearer(key), parts, "application/json")->body)
                ["choices"][0]["message"]["content"],
            "in é parts");
  auto unknown = client->Get("/v1/embeddings", bearer(key));
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
  EXPECT_FALSE(process.waitExit(0ms).has_value());
}

}  // namespace
}  // namespace quorvel::testing
