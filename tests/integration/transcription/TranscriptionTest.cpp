// The speech request and the transcript chain against a capturing listener
// and the stand-in speech server, over loopback.
#include "engine/Transcription.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "CaptureServer.h"
#include "QuickServerWaits.h"
#include "TestSupport.h"
#include "audio/Levels.h"
#include "audio/TranscriptChain.h"
#include "audio/Wav.h"
#include "engine/Config.h"
#include "engine/Servers.h"
#include "support/Json.h"
#include "support/Log.h"
#include "support/ProgramValues.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::ScopedEnv;
using testing::TempDir;


Samples tone(std::size_t count, int amplitude) {
  Samples samples(count);
  for (std::size_t i = 0; i < count; ++i) samples[i] = static_cast<std::int16_t>(i % 2 ? amplitude : -amplitude);
  return samples;
}

// "quorvel-" + an upper-case version-4 UUID with hyphens.
bool isOurBoundary(const std::string& boundary) {
  const std::string prefix = "quorvel-";
  if (boundary.size() != prefix.size() + 36 || boundary.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string uuid = boundary.substr(prefix.size());
  for (std::size_t i = 0; i < uuid.size(); ++i) {
    const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen ? uuid[i] != '-' : std::string("0123456789ABCDEF").find(uuid[i]) == std::string::npos) return false;
  }
  return uuid[14] == '4';
}

constexpr std::string_view kFormType = "multipart/form-data; boundary=";

// Environment shared by every test: a private root, config home and port.
class SpeechRequest : public ::testing::Test {
 protected:
  void SetUp() override { Config::resetForTesting(); }
  void TearDown() override { Config::resetForTesting(); }

  TempDir root;
  ScopedEnv rootVariable{"QUORVEL_ROOT", root.path().string()};
  ScopedEnv configHome{"XDG_CONFIG_HOME", (root.path() / "config").string()};
};

class CapturedRequest : public SpeechRequest {
 protected:
  // Points the speech port at `server` (read afresh by Config).
  void useServer(const testing::CaptureServer& server) {
    port.emplace("QUORVEL_WHISPER_PORT", std::to_string(server.port()));
    Config::resetForTesting();
  }
  std::optional<ScopedEnv> port;
  Servers servers{testing::quickServerWaits(20)};
};

// A whole three-minute recording (chunking off) on a slow CPU takes longer
// than the minute a piece gets, and was heard as silence.
TEST(SpeechRequestTimeout, IsAMinuteOrTwiceALongPiecesLength) {
  EXPECT_EQ(speechRequestTimeout(Samples(16000 * 10)), 60s);
  EXPECT_EQ(speechRequestTimeout(Samples(16000 * 30)), 60s);
  EXPECT_EQ(speechRequestTimeout(Samples(16000 * 196)), 392s);
}

TEST_F(CapturedRequest, SendsTheFormByteForByte) {
  testing::CaptureServer server(R"({"text":"  Hello there. "})");
  useServer(server);
  const std::string wav = wavData(Samples{1, -1});
  const auto text = transcribeWav(servers, wav, "the words before");
  ASSERT_TRUE(text.ok()) << text.error();
  EXPECT_EQ(*text, "  Hello there. ");  // returned as written

  const auto request = server.request();
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->substr(0, request->find("\r\n")), "POST /inference HTTP/1.1");
  EXPECT_EQ(testing::headerOf(*request, "Authorization"), "Bearer " + servers.apiKey());
  const auto contentType = testing::headerOf(*request, "Content-Type");
  ASSERT_TRUE(contentType.has_value());
  ASSERT_EQ(contentType->substr(0, kFormType.size()), kFormType);
  const std::string b = contentType->substr(kFormType.size());
  ASSERT_TRUE(isOurBoundary(b)) << b;
  const std::string expected =
      "--" + b + "\r\nContent-Disposition: form-data; name=\"response_format\"\r\n\r\njson\r\n" +
      "--" + b + "\r\nContent-Disposition: form-data; name=\"temperature\"\r\n\r\n0\r\n" +
      "--" + b + "\r\nContent-Disposition: form-data; name=\"prompt\"\r\n\r\nthe words before\r\n" +
      "--" + b + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\n" +
      "Content-Type: audio/wav\r\n\r\n" + wav + "\r\n--" + b + "--\r\n";
  EXPECT_EQ(testing::bodyOf(*request), expected);
}

TEST_F(CapturedRequest, SendsAnEmptyPromptAndAFreshBoundaryEachTime) {
  std::string boundaries[2];
  for (auto& boundary : boundaries) {
    testing::CaptureServer server(R"({"text":"x"})");
    useServer(server);
    ASSERT_TRUE(transcribeWav(servers, wavData(Samples{}), "").ok());
    const auto request = server.request();
    ASSERT_TRUE(request.has_value());
    boundary = testing::headerOf(*request, "Content-Type").value_or("").substr(kFormType.size());
    EXPECT_TRUE(isOurBoundary(boundary)) << boundary;
    EXPECT_NE(testing::bodyOf(*request).find("--" + boundary +
                                             "\r\nContent-Disposition: form-data; name=\"prompt\"\r\n\r\n\r\n--"),
              std::string::npos);
  }
  EXPECT_NE(boundaries[0], boundaries[1]);
}

TEST_F(CapturedRequest, TranscribeSendsBoostedAudioAndTidiesTheAnswer) {
  testing::CaptureServer server(R"({"text":"  hello   [MUSIC]  world  "})");
  useServer(server);
  const Samples quiet = tone(16000, 100);  // boosted twelve times
  EXPECT_EQ(transcribe(servers, quiet, "prompt words", 5s), "hello world");
  const auto request = server.request();
  ASSERT_TRUE(request.has_value());
  const std::string body = testing::bodyOf(*request);
  const auto wavStart = body.find("RIFF");
  ASSERT_NE(wavStart, std::string::npos);
  const auto sent = readWav(body.substr(wavStart));
  ASSERT_TRUE(sent.has_value());
  // The closing boundary follows the WAV; the data chunk's size keeps it out.
  EXPECT_EQ(*sent, boosted(quiet));
}

// Another program on the speech port answers with an error status and a body
// that happens to be JSON with a "text": that is no transcript.
TEST_F(CapturedRequest, AnErrorStatusIsAFailureWhateverTheBody) {
  testing::CaptureServer server(R"({"text":"not implemented here"})", 10s, "501 Not Implemented");
  useServer(server);
  LogCapture logs;
  const auto text = transcribeOrFail(servers, tone(8000, 3000), "", 5s);
  ASSERT_FALSE(text.ok());
  EXPECT_EQ(text.error(), "the speech server answered HTTP 501");
  EXPECT_TRUE(logs.contains("Quorvel: a speech request failed: the speech server answered HTTP 501"));
}

TEST_F(SpeechRequest, UnreachableServerFailsTheRequestAndGivesNothingToTranscribe) {
  ScopedEnv port("QUORVEL_WHISPER_PORT", std::to_string(testing::freeLoopbackPort()));
  Config::resetForTesting();
  Servers servers(testing::quickServerWaits(2));
  EXPECT_FALSE(transcribeWav(servers, wavData(Samples{1}), "", 2s).ok());
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(transcribe(servers, tone(1000, 3000), "", 2s), "");
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

// The stand-in speech server, started through Servers with a script.
class StandinSpeech : public SpeechRequest {
 protected:
  void TearDown() override {
    servers.stopAll();
    SpeechRequest::TearDown();
  }

  // Starts the stand-in answering the given script lines in request order.
  void start(const std::vector<Json>& script) {
    std::string lines;
    for (const auto& line : script) lines += compactJson(line) + "\n";
    testing::writeTextFile(scriptFile, lines);
    Config::resetForTesting();
    servers.startWhisper("ggml-small.en-q5_1.bin");
    servers.waitForWhisper();
  }

  std::vector<Json> inferenceRequests() const {
    std::vector<Json> requests;
    std::ifstream in(requestLog);
    for (std::string line; std::getline(in, line);) {
      auto json = parseJson(line);
      if (json && json->value("event", "") == "request" && json->value("path", "") == "/inference") {
        requests.push_back(*json);
      }
    }
    return requests;
  }

  std::vector<std::string> prompts() const {
    std::vector<std::string> out;
    for (const auto& request : inferenceRequests()) out.push_back(request["form"].value("prompt", "<none>"));
    return out;
  }

  Transcriber transcriber(std::chrono::milliseconds timeout = 10s) {
    return [this, timeout](SampleSpan samples, const std::string& context) {
      return transcribe(servers, samples, context, timeout);
    };
  }

  fs::path scriptFile = root / "script.jsonl";
  fs::path requestLog = root / "requests.jsonl";
  ScopedEnv exe{"QUORVEL_WHISPER_SERVER", testing::buildProgram("quorvel-standin-whisper").string()};
  ScopedEnv port{"QUORVEL_WHISPER_PORT", std::to_string(testing::freeLoopbackPort())};
  ScopedEnv script{"QUORVEL_STANDIN_SCRIPT", scriptFile.string()};
  ScopedEnv log{"QUORVEL_STANDIN_LOG", requestLog.string()};
  ScopedEnv text{"QUORVEL_STANDIN_TEXT", std::nullopt};
  ScopedEnv fault{"QUORVEL_STANDIN_FAULT", std::nullopt};
  ScopedEnv latency{"QUORVEL_STANDIN_MS_PER_AUDIO_S", std::nullopt};
  ScopedEnv neural{"QUORVEL_NEURAL_ENGINE", std::nullopt};
  Servers servers{testing::quickServerWaits()};
};

TEST_F(StandinSpeech, LogsTheFormFieldsAndTheWholeWav) {
  start({{{"text", "Hi."}}});
  const Samples samples = tone(8000, 20000);
  EXPECT_EQ(transcribe(servers, samples, ""), "Hi.");
  const auto requests = inferenceRequests();
  ASSERT_EQ(requests.size(), 1u);
  const Json& request = requests[0];
  EXPECT_TRUE(request["key_ok"].get<bool>());
  EXPECT_EQ(request["form"], (Json{{"response_format", "json"}, {"temperature", "0"}, {"prompt", ""}}));
  ASSERT_EQ(request["files"].size(), 1u);
  EXPECT_EQ(request["files"][0]["name"], "file");
  EXPECT_EQ(request["files"][0]["filename"], "audio.wav");
  EXPECT_EQ(request["files"][0]["content_type"], "audio/wav");
  EXPECT_EQ(request["files"][0]["bytes"], 44 + 2 * samples.size());
  EXPECT_EQ(request["wav_samples"], samples.size());
  const std::string contentType = request["headers"].value("Content-Type", "");
  ASSERT_EQ(contentType.substr(0, kFormType.size()), kFormType);
  EXPECT_TRUE(isOurBoundary(contentType.substr(kFormType.size()))) << contentType;
}

TEST_F(StandinSpeech, ChainJoinsTextsInOrderEvenWhenTheFirstIsSlow) {
  start({{{"text", "One."}, {"delay_ms", 600}}, {{"text", "Two."}}, {{"text", " Three. "}, {"delay_ms", 100}}});
  TranscriptChain chain;
  for (int piece = 0; piece < 3; ++piece) chain.add(tone(16000, 3000), transcriber());
  EXPECT_EQ(chain.result(), "One. Two. Three.");
  EXPECT_EQ(prompts(), (std::vector<std::string>{"", "One.", "One. Two."}));
}

TEST_F(StandinSpeech, EmptyPieceLeavesTextAndPromptUnchanged) {
  start({{{"text", "alpha beta"}}, {{"text", ""}}, {{"text", "gamma"}}});
  TranscriptChain chain;
  for (int piece = 0; piece < 3; ++piece) chain.add(tone(16000, 3000), transcriber());
  EXPECT_EQ(chain.result(), "alpha beta gamma");
  EXPECT_EQ(prompts(), (std::vector<std::string>{"", "alpha beta", "alpha beta"}));
}

TEST_F(StandinSpeech, FailingRequestsGiveNothingAndLaterPiecesGoOn) {
  start({{{"text", "first"}},
         {{"text", "lost"}, {"fault", "http500"}},
         {{"text", "lost"}, {"fault", "notjson"}},
         {{"text", "lost"}, {"fault", "notext"}},
         {{"text", "lost"}, {"fault", "drop"}},
         {{"text", "last"}}});
  TranscriptChain chain;
  for (int piece = 0; piece < 6; ++piece) chain.add(tone(8000, 3000), transcriber());
  EXPECT_EQ(chain.result(), "first last");
  EXPECT_EQ(prompts(), (std::vector<std::string>{"", "first", "first", "first", "first", "first"}));
}

TEST_F(StandinSpeech, EachFailedRequestIsLoggedOnceWithItsCause) {
  start({{{"text", "lost"}, {"fault", "http500"}},
         {{"text", "lost"}, {"fault", "notjson"}},
         {{"text", "never"}, {"fault", "hang"}},
         {{"text", "lost"}, {"fault", "notext"}},
         {{"text", "heard"}}});
  LogCapture logs;
  for (int piece = 0; piece < 5; ++piece) (void)transcribe(servers, tone(8000, 3000), "", 700ms);
  servers.stopAll();
  EXPECT_EQ(transcribe(servers, tone(8000, 3000), "", 700ms), "");

  std::vector<std::string> failures;
  for (const auto& line : logs.lines()) {
    if (line.starts_with("Quorvel: a speech request failed: ")) failures.push_back(line.substr(34));
  }
  ASSERT_EQ(failures.size(), 4u) << ::testing::PrintToString(failures);
  EXPECT_EQ(failures[0], "the speech server answered HTTP 500");
  EXPECT_EQ(failures[1], "the speech server's answer is not JSON");
  EXPECT_NE(failures[2].find("imeout"), std::string::npos) << failures[2];
  EXPECT_NE(failures[3].find("connect"), std::string::npos) << failures[3];  // nothing listens
}

TEST_F(StandinSpeech, OneRequestReportsBrokenAnswersItsOwnWay) {
  start({{{"text", "lost"}, {"fault", "notjson"}}, {{"text", "lost"}, {"fault", "notext"}}, {{"text", "  as is "}}});
  const std::string wav = wavData(tone(1600, 3000));
  EXPECT_FALSE(transcribeWav(servers, wav, "").ok());       // not JSON: a failure
  const auto noText = transcribeWav(servers, wav, "");      // no "text": empty, no failure
  ASSERT_TRUE(noText.ok());
  EXPECT_EQ(*noText, "");
  EXPECT_EQ(transcribeWav(servers, wav, "").valueOr("failed"), "  as is ");
}

TEST_F(StandinSpeech, HangingServerIsBoundedByTheRequestTimeOut) {
  start({{{"text", "never"}, {"fault", "hang"}}, {{"text", "after"}}});
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(transcribe(servers, tone(8000, 3000), "", 700ms), "");
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  EXPECT_EQ(transcribe(servers, tone(8000, 3000), "", 5s), "after");
}

}  // namespace
}  // namespace quorvel
