// The engine runs as processes against the stand-in servers: "--test" over
// generated speech with pauses, "--bank" over good and bad lines, and
// "--replay" over a history file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>

#include "ProgramEnvironment.h"
#include "TestSupport.h"
#include "app/cli/EngineRuns.h"
#include "audio/Wav.h"
#include "support/Json.h"

namespace quorvel {
namespace {

using testing::ScopedEnv;
using testing::TempDir;
namespace fs = std::filesystem;

struct RunOutput {
  int status = -1;
  std::string out;
};

std::string quoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) {
    if (c == '\'') {
      result += "'\\''";
    } else {
      result += c;
    }
  }
  return result + "'";
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> found;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) found.push_back(line);
  return found;
}

class EngineRunsTest : public ::testing::Test {
 protected:
  // Runs the program with these arguments; its standard output and status.
  RunOutput run(const std::vector<std::string>& args) {
    std::string command = quoted(testing::buildProgram("quorvel").string());
    for (const auto& arg : args) command += " " + quoted(arg);
    command += " 2>>" + quoted((root / "stderr.txt").string());
    const testing::CommandResult ran = testing::runCommand(command);
    RunOutput result;
    result.out = ran.out;
    result.status = ran.status;
    return result;
  }

  void script(const std::vector<Json>& entries) {
    std::string text;
    for (const auto& entry : entries) text += compactJson(entry) + "\n";
    testing::writeTextFile(scriptFile, text);
  }

  int count(const std::string& event, const std::string& server, const std::string& path = "") const {
    int n = 0;
    std::ifstream in(requestLog);
    for (std::string line; std::getline(in, line);) {
      const auto json = parseJson(line);
      if (json && json->value("event", "") == event && json->value("server", "") == server &&
          (path.empty() || json->value("path", "") == path)) {
        ++n;
      }
    }
    return n;
  }

  TempDir root;
  fs::path requestLog = root / "requests.jsonl";
  fs::path scriptFile = root / "script.jsonl";
  fs::path speech = QUORVEL_RUNS_SPEECH_DIR;
  testing::ProgramEnvironment environment{root.path(), testing::buildProgram("quorvel-standin-whisper"),
                                          testing::buildProgram("quorvel-standin-llama")};
  ScopedEnv log{"QUORVEL_STANDIN_LOG", requestLog.string()};
  ScopedEnv scriptVariable{"QUORVEL_STANDIN_SCRIPT", scriptFile.string()};
  ScopedEnv audioSpeed{"QUORVEL_STANDIN_MS_PER_AUDIO_S", "1"};
  ScopedEnv promptSpeed{"QUORVEL_STANDIN_MS_PER_PROMPT_TOKEN", "0"};
  ScopedEnv tokenSpeed{"QUORVEL_STANDIN_MS_PER_TOKEN", "0"};
};

TEST_F(EngineRunsTest, TestRunCutsSpeechAtPausesAndReportsEachFile) {
  script({{{"text", ""}},  // the warm-up's transcription
          {{"text", "The weather was calm this morning."}},
          {{"text", "After lunch the team reviewed the budget."}},
          {{"text", "Please send the final report."}},
          {{"text", "Whole file once."}}});
  const fs::path empty = root / "empty.wav", junk = root / "junk.WAV";
  testing::writeTextFile(empty, wavData({}));
  testing::writeTextFile(junk, "this is not a wav file at all");
  const fs::path missing = root / "missing.wav";
  const RunOutput output =
      run({"--test", (speech / "joined.wav").string(), "--chunk-min", "3", missing.string(), junk.string(),
           (speech / "a.wav").string(), empty.string(), "--instant", "notes.txt"});
  EXPECT_EQ(output.status, 2) << output.out;  // an argument it could not use
  auto out = lines(output.out);
  ASSERT_EQ(out.size(), 15u) << output.out;
  EXPECT_EQ(out.front(), "skipped notes.txt: not a .wav file or an option of --test");
  EXPECT_EQ(out.back(), "2 recording(s) could not be read");
  out = std::vector<std::string>(out.begin() + 1, out.end() - 1);

  // joined.wav: three sentences with pauses of 1.5 s and 1.2 s.
  const std::regex report(
      R"(joined\.wav \| audio (\d+\.\d)s, (\d+) chunk\(s\) \| after release: speech (\d+)ms \+ cleanup (\d+)ms = (\d+\.\d\d)s \| ([a-z ,()0-9]+), trained model)");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(out[0], match, report)) << out[0];
  EXPECT_EQ(match[2], "3");
  EXPECT_EQ(out[1], "  raw:   The weather was calm this morning. After lunch the team reviewed the budget. Please send the final report.");
  EXPECT_TRUE(out[2].starts_with("  typed: ")) << out[2];
  EXPECT_TRUE(out[3].starts_with("  engine: read ")) << out[3];
  EXPECT_TRUE(out[3].ends_with("; warmed while talking: true") || out[3].ends_with("; warmed while talking: false"))
      << out[3];
  EXPECT_EQ(out[4], "cannot read " + missing.string() + ": No such file or directory");
  EXPECT_EQ(out[5], "cannot read " + junk.string() + ": not a WAV file");
  // a.wav alone is never cut at the default 20 s: the whole recording is the tail.
  EXPECT_TRUE(out[6].starts_with("a.wav | audio ")) << out[6];
  EXPECT_NE(out[6].find(", 1 chunk(s) |"), std::string::npos) << out[6];
  EXPECT_EQ(out[7], "  raw:   Whole file once.");
  EXPECT_TRUE(out[9].starts_with("  engine: read ")) << out[9];
  EXPECT_EQ(out[10].substr(0, 40), "empty.wav | audio 0.0s, 0 chunk(s) | aft");
  EXPECT_NE(out[10].find("| empty, trained model"), std::string::npos);
  EXPECT_EQ(out[11], "  raw:   ");
  EXPECT_EQ(out[12], "  typed: ");
  // Three pieces of joined.wav and the whole a.wav; nothing for the empty file.
  EXPECT_EQ(count("request", "whisper", "/inference"), 5);  // with the warm-up
  EXPECT_EQ(count("stop", "whisper"), count("start", "whisper"));
  EXPECT_EQ(count("stop", "llama"), count("start", "llama"));
}

// The samples of each transcription request, in order.
std::vector<long long> transcribedSamples(const fs::path& requestLog) {
  std::vector<long long> found;
  std::ifstream in(requestLog);
  for (std::string line; std::getline(in, line);) {
    const auto json = parseJson(line);
    if (json && json->value("event", "") == "request" && json->value("path", "") == "/inference" &&
        (*json)["wav_samples"].is_number_integer()) {
      found.push_back((*json)["wav_samples"].get<long long>());
    }
  }
  return found;
}

TEST_F(EngineRunsTest, NoTrimSendsTheWholeRecordingWithItsQuietEdges) {
  script({});
  // Half a second of silence on either side of the spoken sentence.
  const auto spoken = readWav(testing::readTextFile(speech / "a.wav"));
  ASSERT_TRUE(spoken && !spoken->empty());
  Samples padded(8000, 0);
  padded.insert(padded.end(), spoken->begin(), spoken->end());
  padded.insert(padded.end(), 8000, 0);
  const fs::path wav = root / "padded.wav";
  testing::writeTextFile(wav, wavData(padded));

  ASSERT_EQ(run({"--test", wav.string(), "--instant"}).status, 0);
  const auto trimmed = transcribedSamples(requestLog);
  ASSERT_EQ(trimmed.size(), 2u);  // the warm-up, then the recording
  EXPECT_LT(trimmed[1], static_cast<long long>(padded.size()));

  ASSERT_EQ(run({"--test", wav.string(), "--instant", "--no-trim"}).status, 0);
  const auto whole = transcribedSamples(requestLog);
  ASSERT_EQ(whole.size(), 4u);
  EXPECT_EQ(whole[3], static_cast<long long>(padded.size()));
}

TEST_F(EngineRunsTest, TestRunWithoutWavFilesOnlyStartsWarmsAndStops) {
  script({});
  const RunOutput output = run({"--test", "--instant"});
  EXPECT_EQ(output.status, 0);
  EXPECT_EQ(output.out, "");
  EXPECT_EQ(count("start", "whisper"), 1);
  EXPECT_EQ(count("stop", "llama"), 1);
}

TEST_F(EngineRunsTest, BankRefusesTheApplicationsPort) {
  for (const std::optional<std::string>& value : {std::optional<std::string>(), std::optional<std::string>("8179"),
                                                  std::optional<std::string>("not a port")}) {
    ScopedEnv port{"QUORVEL_LLAMA_PORT", value};
    const RunOutput output = run({"--bank", (root / "in.jsonl").string(), (root / "out.jsonl").string()});
    EXPECT_EQ(output.status, 2);
    EXPECT_EQ(output.out, std::string(kBankPortMessage) + "\n");
  }
  EXPECT_FALSE(fs::exists(root / "out.jsonl"));
  EXPECT_EQ(count("start", "llama"), 0);
}

TEST_F(EngineRunsTest, BankWritesARecordForEveryLineItReads) {
  std::string longRaw;
  for (int i = 0; i < 13; ++i) longRaw += "We should check the report number " + std::to_string(i) + ". ";
  longRaw += "and";
  script({{{"match", "hello there."}, {"answer", "Hello there."}}});
  const std::string deepId = "{\"id\":" + std::string(20000, '[') + std::string(20000, ']') + ",\"raw\":\"x\"}";
  const std::string bank =
      compactJson(Json{{"id", "first"}, {"raw", "hello there"}, {"names", {"Anna"}}}) + "\n" +
      "\n" +
      "this line is not json\n" +
      "[\"an\", \"array\"]\n" +
      compactJson(Json{{"raw", "no id here"}, {"names", {1, 2}}, {"before", 7}}) + "\n" +
      std::string(10 * 1024 * 1024, 'x') + "\n" +
      compactJson(Json{{"id", 42}, {"raw", longRaw}, {"before", "Dear team,"}}) + "\n" +
      compactJson(Json{{"id", nullptr}}) + "\n" +
      deepId + "\n";
  testing::writeTextFile(root / "in.jsonl", bank);
  const RunOutput output = run({"--bank", (root / "in.jsonl").string(), (root / "out.jsonl").string()});
  ASSERT_EQ(output.status, 0) << output.out;
  EXPECT_EQ(output.out, "");  // fewer than 50 lines: no progress
  const auto written = lines(testing::readTextFile(root / "out.jsonl"));
  ASSERT_EQ(written.size(), 8u);  // one for every non-empty line
  std::vector<Json> records;
  for (const auto& line : written) {
    const auto json = parseJson(line);
    ASSERT_TRUE(json && json->is_object()) << line;
    records.push_back(*json);
  }
  for (const size_t cleaned : {0, 3, 5, 6}) {
    for (const char* key : {"id", "final", "path", "cleanup_ms", "total_ms", "ahead_pieces", "warmed", "engine"}) {
      EXPECT_TRUE(records[cleaned].contains(key)) << key << " in " << written[cleaned];
    }
  }
  EXPECT_EQ(records[0]["id"], "first");
  EXPECT_EQ(records[0]["final"], "Hello there.");
  EXPECT_TRUE(records[0]["engine"].contains("read_tokens"));
  // Lines that could not be read say where they were and why.
  EXPECT_EQ(records[1], (Json{{"id", 1}, {"line", 3}, {"error", "not JSON"}}));
  EXPECT_EQ(records[2], (Json{{"id", 2}, {"line", 4}, {"error", "not a JSON object"}}));
  EXPECT_EQ(records[3]["id"], 3);  // the index among non-empty lines
  EXPECT_EQ(records[4], (Json{{"id", 4}, {"line", 6}, {"error", "not JSON"}}));
  EXPECT_EQ(records[5]["id"], 42);
  EXPECT_EQ(records[5]["warmed"], true);  // over 50 words: talk-ahead ran first
  EXPECT_EQ(records[6]["id"], nullptr);
  EXPECT_EQ(records[6]["path"], "empty");
  EXPECT_EQ(records[6]["engine"], Json::object());
  EXPECT_EQ(records[7], (Json{{"id", 7}, {"line", 9}, {"error", "not JSON"}}));  // nested too deep
  EXPECT_EQ(count("start", "whisper"), 0);
  EXPECT_EQ(count("stop", "llama"), 1);
}

TEST_F(EngineRunsTest, BankReportsProgressEveryFiftyLines) {
  script({});
  std::string bank;
  for (int i = 0; i < 101; ++i) bank += compactJson(Json{{"raw", "line " + std::to_string(i)}}) + "\n";
  testing::writeTextFile(root / "in.jsonl", bank);
  const RunOutput output = run({"--bank", (root / "in.jsonl").string(), (root / "out.jsonl").string()});
  EXPECT_EQ(output.status, 0);
  EXPECT_EQ(output.out, "  50 of 101\n  100 of 101\n");
  EXPECT_EQ(lines(testing::readTextFile(root / "out.jsonl")).size(), 101u);
}

TEST_F(EngineRunsTest, BankSaysWhatItCannotReadOrWriteBeforeStartingTheModel) {
  script({});
  testing::writeTextFile(root / "in.jsonl", "{\"raw\":\"hi\"}\n");
  const fs::path out = root / "no" / "such" / "folder" / "out.jsonl";
  RunOutput output = run({"--bank", (root / "in.jsonl").string(), out.string()});
  EXPECT_EQ(output.status, 1);
  EXPECT_EQ(output.out, "can't write " + out.string() + ": No such file or directory\n");

  const fs::path missing = root / "missing.jsonl";
  output = run({"--bank", missing.string(), (root / "out.jsonl").string()});
  EXPECT_EQ(output.status, 1);
  EXPECT_EQ(output.out, "can't read " + missing.string() + ": No such file or directory\n");
  EXPECT_FALSE(fs::exists(root / "out.jsonl"));
  EXPECT_EQ(count("start", "llama"), 0);
}

// Writing the results over the bank would lose it: the output is refused when
// it is the input file, under any name.
TEST_F(EngineRunsTest, BankRefusesToWriteOverItsInput) {
  script({});
  const std::string bank = compactJson(Json{{"raw", "keep me"}}) + "\n";
  testing::writeTextFile(root / "in.jsonl", bank);
  fs::create_hard_link(root / "in.jsonl", root / "link.jsonl");
  for (const fs::path& out : {root / "in.jsonl", root / "link.jsonl", root / "." / "in.jsonl"}) {
    const RunOutput output = run({"--bank", (root / "in.jsonl").string(), out.string()});
    EXPECT_EQ(output.status, 2) << out;
    EXPECT_EQ(output.out, "can't write " + out.string() + ": it is the input file " + (root / "in.jsonl").string() + "\n");
    EXPECT_EQ(testing::readTextFile(root / "in.jsonl"), bank);
  }
  EXPECT_EQ(count("start", "llama"), 0);
}

TEST_F(EngineRunsTest, BankReportsAFullDiskAndNeverReplacesADevice) {
  script({});
  testing::writeTextFile(root / "in.jsonl", compactJson(Json{{"raw", "hello"}}) + "\n");
  ASSERT_TRUE(fs::is_character_file("/dev/full"));
  const RunOutput output = run({"--bank", (root / "in.jsonl").string(), "/dev/full"});
  EXPECT_EQ(output.status, 1);
  EXPECT_EQ(output.out, "can't write /dev/full: No space left on device\n");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));  // written in place, never renamed over
  EXPECT_EQ(count("stop", "llama"), 1);
}

// The language model dies after the first line: every later line falls back,
// and the run says so instead of reporting success.
TEST_F(EngineRunsTest, BankCountsTheLinesTheModelNeverAnswered) {
  script({{{"match", "second."}, {"answer", "Second."}, {"fault", "exit"}}});
  std::string bank;
  for (const char* raw : {"first", "second", "third", "fourth"}) bank += compactJson(Json{{"raw", raw}}) + "\n";
  testing::writeTextFile(root / "in.jsonl", bank);
  const RunOutput output = run({"--bank", (root / "in.jsonl").string(), (root / "out.jsonl").string()});
  EXPECT_EQ(output.status, 1);
  EXPECT_EQ(output.out, "3 of 4 line(s) fell back: the language model gave no answer\n");
  const auto written = lines(testing::readTextFile(root / "out.jsonl"));
  ASSERT_EQ(written.size(), 4u);
  EXPECT_EQ(parseJson(written[3]).value_or(Json())["path"], "fallback");
}

TEST_F(EngineRunsTest, ReplayWithoutAHistoryFileSaysSo) {
  const RunOutput output = run({"--replay"});
  EXPECT_EQ(output.status, 1);
  EXPECT_EQ(output.out, "can't read " + (root / "data" / "logs" / "dictations.jsonl").string() +
                            ": No such file or directory\n");
  EXPECT_EQ(count("start", "llama"), 0);
}

TEST_F(EngineRunsTest, ReplayCleansOnlyTheLongDictationsAgain) {
  script({{{"match", "a long dictation."}, {"answer", "A long dictation."}}});
  const std::string history =
      compactJson(Json{{"time", "2026-03-01T09:15:02Z"}, {"audio_s", 12.5}, {"raw", "a long dictation"}}) + "\n" +
      compactJson(Json{{"time", "2026-03-01T09:16:00Z"}, {"audio_s", 4}, {"raw", "a short one"}}) + "\n" +
      "\x01\x02 junk\n" +
      compactJson(Json{{"audio_s", "11"}, {"raw", "audio as text"}}) + "\n" +
      compactJson(Json{{"audio_s", 30}}) + "\n" +
      "{\"time\":\"2026-03-01T09:17:00Z\",\"audio_s\":20,\"raw\":\"half writ";
  testing::writeTextFile(root / "data" / "logs" / "dictations.jsonl", history);
  const RunOutput output = run({"--replay"});
  ASSERT_EQ(output.status, 0);
  const auto out = lines(output.out);
  ASSERT_EQ(out.size(), 6u) << output.out;
  EXPECT_TRUE(std::regex_match(out[0], std::regex(R"(\[2026-03-01T09:15:02Z\] cleanup \d+\.\d\ds \| cleaned.*)")))
      << out[0];
  EXPECT_EQ(out[1], "A long dictation.");
  EXPECT_EQ(out[2], "");
  EXPECT_TRUE(std::regex_match(out[3], std::regex(R"(\[\] cleanup \d+\.\d\ds \| empty)"))) << out[3];
  EXPECT_EQ(out[4], "");
}

}  // namespace
}  // namespace quorvel
