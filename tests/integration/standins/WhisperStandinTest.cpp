// The whisper stand-in's transcription request: scripted answers, the request
// log, malformed uploads, the latency model and the Core ML line.
#include "StandinFixture.h"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

class WhisperStandinTest : public StandinTest {
 protected:
  httplib::Result transcribe(const std::string& prompt, std::size_t samples, const std::string& format = "json") {
    const auto form = transcriptionForm(prompt, wavBytes(samples), format);
    return loopbackClient(port)->Post("/inference", bearer(key), form.body, form.contentType.c_str());
  }

  std::string transcript(std::size_t samples = 1600) {
    auto answer = transcribe("", samples);
    if (!answer || answer->status != 200) return "<failed>";
    const json body = json::parse(answer->body, nullptr, false);
    return body.is_object() && body.contains("text") ? body["text"].get<std::string>() : "<no text>";
  }
};

TEST_F(WhisperStandinTest, AnswersScriptedTranscriptsInOrderThenTheDefaultText) {
  writeTextFile(script,
                "{\"text\": \" First piece.\"}\n"
                "{\"match\": \"for the language model\", \"answer\": \"ignored here\"}\n"
                "this line is not JSON\n"
                "\n"
                "{\"text\": \"Second, with \\\"quotes\\\" and ümlauts.\", \"delay_ms\": 10}\n"
                "{\"text\": 42}\n");
  StandinProcess& process = startReady(
      Kind::whisper, {{"QUORVEL_STANDIN_SCRIPT", script.string()}, {"QUORVEL_STANDIN_TEXT", "Fallback."}});
  EXPECT_EQ(transcript(), " First piece.");
  EXPECT_EQ(transcript(), "Second, with \"quotes\" and ümlauts.");
  EXPECT_EQ(transcript(), "Fallback.");
  EXPECT_EQ(transcript(), "Fallback.");
  const std::string notes = process.standardError();
  EXPECT_NE(notes.find("script line 3 skipped: not JSON"), std::string::npos) << notes;
  EXPECT_NE(notes.find("script line 6 skipped"), std::string::npos) << notes;
  EXPECT_EQ(notes.find("script line 2"), std::string::npos) << notes;  // the other stand-in's line
}

TEST_F(WhisperStandinTest, WithoutScriptOrDefaultTheTranscriptIsEmpty) {
  startReady(Kind::whisper);
  EXPECT_EQ(transcript(), "");
  auto plain = transcribe("", 1600, "text");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->status, 200);
}

TEST_F(WhisperStandinTest, LogsItsArgumentsTheFormAndTheSampleCountButNeverTheKey) {
  startReady(Kind::whisper);
  auto answer = transcribe("the words spoken just before", 8000);
  ASSERT_TRUE(answer);
  ASSERT_EQ(answer->status, 200);

  const auto starts = logged("start", "whisper");
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0]["args"], json(defaultArgs(Kind::whisper)));
  EXPECT_TRUE(starts[0]["env_key_set"].get<bool>());
  EXPECT_GT(starts[0]["pid"].get<int>(), 0);

  std::vector<json> uploads;
  for (const json& request : logged("request", "whisper")) {
    if (request["path"] == "/inference") uploads.push_back(request);
  }
  ASSERT_EQ(uploads.size(), 1u);
  const json& upload = uploads[0];
  EXPECT_EQ(upload["method"], "POST");
  EXPECT_TRUE(upload["key_ok"].get<bool>());
  EXPECT_EQ(upload["form"],
            json({{"response_format", "json"}, {"temperature", "0"}, {"prompt", "the words spoken just before"}}));
  EXPECT_EQ(upload["wav_samples"], 8000);
  ASSERT_EQ(upload["files"].size(), 1u);
  EXPECT_EQ(upload["files"][0]["filename"], "audio.wav");
  EXPECT_EQ(upload["files"][0]["content_type"], "audio/wav");
  EXPECT_EQ(upload["headers"]["Content-Type"].get<std::string>().rfind("multipart/form-data; boundary=quorvel-", 0),
            0u);
  EXPECT_FALSE(upload["headers"].contains("Authorization"));
  EXPECT_EQ(readTextFile(log).find(key), std::string::npos);
}

TEST_F(WhisperStandinTest, MalformedUploadsGet400AndTheServerCarriesOn) {
  writeTextFile(script, "{\"text\": \"kept for the good request\"}\n");
  StandinProcess& process = startReady(Kind::whisper, {{"QUORVEL_STANDIN_SCRIPT", script.string()}});
  auto client = loopbackClient(port);

  auto notMultipart = client->Post("/inference", bearer(key), "{\"file\": 1}", "application/json");
  ASSERT_TRUE(notMultipart);
  EXPECT_EQ(notMultipart->status, 400);

  // The three fields, closed without the file part.
  auto noFile = transcriptionForm("", "");
  const std::string boundary = noFile.contentType.substr(noFile.contentType.find('=') + 1);
  const std::string withoutFile =
      noFile.body.substr(0, noFile.body.rfind("--" + boundary, noFile.body.find("name=\"file\""))) + "--" +
      boundary + "--\r\n";
  auto missing = client->Post("/inference", bearer(key), withoutFile, noFile.contentType.c_str());
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 400);

  for (const std::string& notWav : {std::string("ID3 not a wave"), std::string("RIFF\x10\0\0\0WAVEfmt ", 16),
                                    wavBytes(100).substr(0, 40)}) {
    const auto form = transcriptionForm("", notWav);
    auto refused = client->Post("/inference", bearer(key), form.body, form.contentType.c_str());
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400) << refused->body;
  }
  auto badFormat = transcribe("", 1600, "srt-please");
  ASSERT_TRUE(badFormat);
  EXPECT_EQ(badFormat->status, 400);

  // A cut-off data chunk counts the samples that are there; refused requests used no script line.
  const auto form = transcriptionForm("", wavBytes(1000).substr(0, 1000));
  auto cut = client->Post("/inference", bearer(key), form.body, form.contentType.c_str());
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->status, 200);
  EXPECT_EQ(json::parse(cut->body)["text"], "kept for the good request");
  const auto requests = logged("request", "whisper");
  EXPECT_EQ(requests.back()["wav_samples"], (1000 - wavBytes(0).size()) / 2);
  EXPECT_FALSE(process.waitExit(0ms).has_value());
}

TEST_F(WhisperStandinTest, TakesLongerForLongerAudio) {
  startReady(Kind::whisper, {{"QUORVEL_STANDIN_MS_PER_AUDIO_S", "300"}});
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(transcript(32000), "");  // two seconds of audio
  EXPECT_GE(std::chrono::steady_clock::now() - started, 600ms);
}

TEST_F(WhisperStandinTest, ANeuralEngineModelPrintsTheCoreMlLineBeforeItIsReady) {
  const fs::path neural = dir / "models" / "neural-engine" / "ggml-base.en.bin";
  StandinProcess& trial = launch(Kind::whisper, whisperArgs(neural.string()), environment(Kind::whisper));
  ASSERT_TRUE(waitForStatus200(port, "/", key));
  EXPECT_NE(trial.standardOutput().find("Core ML model loaded\n"), std::string::npos);

  port = freeLoopbackPort();
  StandinProcess& plain =
      launch(Kind::whisper, whisperArgs((dir / "models" / "ggml-base.en.bin").string()), environment(Kind::whisper));
  ASSERT_TRUE(waitForStatus200(port, "/", key));
  EXPECT_EQ(plain.standardOutput().find("Core ML"), std::string::npos);
}

}  // namespace
}  // namespace quorvel::testing
