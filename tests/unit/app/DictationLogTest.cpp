// The dictation history: which members a line carries, appends from several
// writers at once, reading back past broken lines, and kept recordings.
#include "app/history/DictationLog.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "TestSupport.h"
#include "audio/Wav.h"
#include "engine/Config.h"
#include "support/UserDefaults.h"
#include "support/WriteProblems.h"

namespace quorvel {
namespace {

using testing::ScopedEnv;
using testing::TempDir;
using Clock = std::chrono::system_clock;

DictationResult sampleResult() {
  DictationResult result;
  result.raw = "um hello there";
  result.final = "Hello there.";
  result.path = "cleaned";
  result.speechMs = 120;
  result.cleanupMs = 340;
  result.chunks = 2;
  result.model = "trained";
  return result;
}

DictationFacts facts(double audioSeconds, std::optional<double> modelIdle = std::nullopt) {
  DictationFacts facts;
  facts.audioSeconds = audioSeconds;
  facts.modelIdle = modelIdle;
  return facts;
}

Clock::time_point at(int year, int month, int day, int h, int m, int s) {
  using namespace std::chrono;
  return sys_days(std::chrono::year(year) / month / day) + hours(h) + minutes(m) + seconds(s);
}

class DictationLogTest : public ::testing::Test {
 protected:
  void SetUp() override { Config::resetForTesting(); }
  void TearDown() override { Config::resetForTesting(); }
  TempDir root;
  ScopedEnv rootVariable{"QUORVEL_ROOT", root.path().string()};
  ScopedEnv configHome{"XDG_CONFIG_HOME", (root.path() / "config").string()};
};

TEST(DictationLineTest, AlwaysMembersAndNoOptionalOnesWhenTheyCarryNothing) {
  const Json line = dictationLine(sampleResult(), facts(3.14159), at(2026, 3, 1, 9, 15, 2));
  EXPECT_EQ(line["time"], "2026-03-01T09:15:02Z");
  EXPECT_DOUBLE_EQ(line["audio_s"].get<double>(), 3.1);
  EXPECT_EQ(line["after_release_ms"], 460);
  EXPECT_EQ(line["speech_ms"], 120);
  EXPECT_EQ(line["cleanup_ms"], 340);
  EXPECT_EQ(line["chunks"], 2);
  EXPECT_EQ(line["path"], "cleaned");
  EXPECT_EQ(line["cleanup_model"], "trained");
  EXPECT_EQ(line["raw"], "um hello there");
  EXPECT_EQ(line["final"], "Hello there.");
  EXPECT_EQ(line["speech_engine"], "graphics chip");
  for (const char* key : {"recording", "woke_model", "warmed", "ahead_pieces", "engine", "model_idle_s"}) {
    EXPECT_FALSE(line.contains(key)) << key;
  }
  EXPECT_EQ(line.size(), 11u);
}

TEST(DictationLineTest, OptionalMembersAppearWhenTheyCarrySomething) {
  DictationResult result = sampleResult();
  result.warmed = true;
  result.aheadPieces = 3;
  result.timings = EngineTimings{10, 20, 30, 40, 5, 4};
  const Json line = dictationLine(result,
                                  {.audioSeconds = 12.25, .recording = "2026-03-01_10-15-02.wav",
                                   .wokeModel = true, .modelIdle = 61.5, .neuralEngine = true},
                                  at(2026, 3, 1, 9, 15, 2));
  EXPECT_EQ(line["recording"], "2026-03-01_10-15-02.wav");
  EXPECT_EQ(line["woke_model"], true);
  EXPECT_EQ(line["warmed"], true);
  EXPECT_EQ(line["ahead_pieces"], 3);
  EXPECT_EQ(line["model_idle_s"], 62);
  EXPECT_TRUE(line["model_idle_s"].is_number_integer());
  EXPECT_EQ(line["speech_engine"], "neural engine");
  EXPECT_EQ(line["engine"], (Json{{"read_tokens", 10}, {"read_ms", 20}, {"wrote_tokens", 30},
                                  {"write_ms", 40}, {"guessed", 5}, {"guessed_right", 4}}));
}

TEST(DictationLineTest, NonFiniteNumbersNeverMakeAnUnreadableLine) {
  const Json line = dictationLine(sampleResult(),
                                  facts(std::nan(""), INFINITY), Clock::now());
  EXPECT_EQ(line["audio_s"], 0.0);
  EXPECT_FALSE(line.contains("model_idle_s"));
  EXPECT_EQ(entriesFromText(compactJson(line)).size(), 1u);
}

TEST(Iso8601Test, ReadsWhatItWritesAndZonesButNothingElse) {
  const auto time = at(2026, 3, 1, 9, 15, 2);
  EXPECT_EQ(parseIso8601(iso8601(time)), time);
  EXPECT_EQ(parseIso8601("2026-03-01T10:15:02+01:00"), time);
  EXPECT_EQ(parseIso8601("2026-03-01T04:15:02-0500"), time);
  for (const char* bad : {"", "2026-03-01", "2026-02-30T00:00:00Z", "2026-03-01T24:00:00Z",
                          "2026-03-01 09:15:02Z", "2026-03-01T09:15:02", "2026-03-01T09:15:02Zjunk",
                          "20x6-03-01T09:15:02Z"}) {
    EXPECT_FALSE(parseIso8601(bad)) << bad;
  }
}

TEST_F(DictationLogTest, FirstDictationCreatesTheFileAndLaterOnesAppend) {
  ASSERT_FALSE(fs::exists(dictationLogFile()));
  ASSERT_TRUE(logDictation(sampleResult(), facts(2)).ok());
  DictationResult second = sampleResult();
  second.final = "Second.";
  ASSERT_TRUE(logDictation(second, facts(4)).ok());
  const std::string text = testing::readTextFile(dictationLogFile());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  const auto entries = loadEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].text, "Hello there.");
  EXPECT_EQ(entries[1].text, "Second.");
  EXPECT_EQ(entries[1].id, 1);
  EXPECT_EQ(entries[1].waitMs, 460);
  EXPECT_DOUBLE_EQ(entries[1].audio, 4);
}

TEST(HistoryWriterTest, LinesThatCouldNotBeWrittenWaitAndGoOutInOrderOnceWritingWorks) {
  TempDir dir;
  fs::path where = "/dev/full";  // every write: no space left
  HistoryWriter writer([&] { return where; });
  const Status first = writer.append("one");
  ASSERT_FALSE(first.ok());
  EXPECT_EQ(WriteProblems::inWords(first.error()), "disk full");
  EXPECT_FALSE(writer.append("two").ok());
  EXPECT_EQ(writer.waiting(), 2u);
  where = dir / "logs" / "dictations.jsonl";
  ASSERT_TRUE(writer.append("three").ok());
  EXPECT_EQ(testing::readTextFile(where), "one\ntwo\nthree\n");
  EXPECT_EQ(writer.waiting(), 0u);
}

TEST(HistoryWriterTest, FailuresAreSaidInAFewWords) {
  EXPECT_EQ(WriteProblems::inWords("cannot append to /x: No space left on device"), "disk full");
  EXPECT_EQ(WriteProblems::inWords("cannot open /x: Read-only file system"), "the disk is read-only");
  EXPECT_EQ(WriteProblems::inWords("cannot open /x: Is a directory"), "is a directory");
}

TEST_F(DictationLogTest, AHalfWrittenLastLineDoesNotSpoilTheNextOne) {
  testing::writeTextFile(dictationLogFile(), compactJson(dictationLine(sampleResult(), {}, Clock::now())) +
                                                 "\n{\"time\":\"2026-03-01T09:1");
  ASSERT_TRUE(logDictation(sampleResult(), {}).ok());
  const auto entries = loadEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].id, 0);
  EXPECT_EQ(entries[1].id, 2);  // the broken line keeps its index
}

TEST(LoadEntriesTest, SkipsWhatDoesNotParseAndReadsMissingMembersAsZero) {
  std::string junk = "\x01\xff\xfe binary \x00 junk";
  junk.push_back('\0');
  const std::string text =
      "{\"time\":\"2026-03-01T09:15:02Z\",\"raw\":\"a\",\"final\":\"A.\",\"audio_s\":1.5,"
      "\"speech_ms\":10,\"cleanup_ms\":20,\"path\":\"cleaned\"}\n"
      "\n\n" + junk + "\n"
      "[1,2,3]\n"
      "{\"time\":\"yesterday\",\"final\":\"no date\"}\n"
      "{\"final\":\"no time\"}\n"
      "{\"time\":\"2026-03-02T00:00:00Z\",\"raw\":5,\"final\":null,\"after_release_ms\":\"9\","
      "\"audio_s\":\"long\",\"speech_ms\":1.5}\n"
      "{\"time\":\"2026-03-03T00:00:00Z\",\"final\":\"half";
  const auto entries = entriesFromText(text);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].id, 0);
  EXPECT_EQ(entries[0].text, "A.");
  EXPECT_EQ(entries[0].raw, "a");
  EXPECT_DOUBLE_EQ(entries[0].audio, 1.5);
  EXPECT_EQ(entries[0].waitMs, 0);  // "after_release_ms" missing
  EXPECT_EQ(entries[0].speechMs, 10);
  EXPECT_EQ(entries[0].cleanupMs, 20);
  EXPECT_EQ(entries[0].path, "cleaned");
  EXPECT_EQ(entries[0].date, at(2026, 3, 1, 9, 15, 2));
  EXPECT_EQ(entries[1].id, 5);
  EXPECT_EQ(entries[1].raw, "");
  EXPECT_EQ(entries[1].text, "");
  EXPECT_EQ(entries[1].waitMs, 0);
  EXPECT_EQ(entries[1].audio, 0);
  EXPECT_EQ(entries[1].speechMs, 0);
}

TEST(LoadEntriesTest, AMissingFileGivesNothing) {
  TempDir dir;
  EXPECT_TRUE(loadEntries(dir / "absent.jsonl").empty());
  EXPECT_TRUE(loadEntries(dir.path()).empty());  // a folder is not readable as a file
}

// Every line written by several threads in several processes comes back whole.
TEST_F(DictationLogTest, ConcurrentAppendsFromThreadsAndProcessesStayWhole) {
  constexpr int processes = 3, threads = 4, perThread = 40;
  DictationResult big = sampleResult();
  big.final = std::string(20000, 'x');  // longer than a pipe buffer's atomic write
  const fs::path file = dictationLogFile();
  fs::create_directories(file.parent_path());
  std::vector<pid_t> children;
  for (int p = 0; p < processes; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::vector<std::thread> workers;
      for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
          for (int i = 0; i < perThread; ++i) (void)appendLine(file, compactJson(dictationLine(big, {}, Clock::now())));
        });
      }
      for (auto& w : workers) w.join();
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const auto entries = loadEntries();
  ASSERT_EQ(entries.size(), static_cast<size_t>(processes * threads * perThread));
  for (const auto& entry : entries) EXPECT_EQ(entry.text.size(), 20000u);
  const std::string text = testing::readTextFile(file);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), processes * threads * perThread);
}

TEST_F(DictationLogTest, RecordingsAreKeptOnlyWhenTheUserWantsThem) {
  const Samples samples(1600, 1000);
  EXPECT_FALSE(saveRecording(samples));
  EXPECT_FALSE(fs::exists(root / "recordings"));
  ASSERT_TRUE(UserDefaults::standard().set("saveAudio", true).ok());
  const auto name = saveRecording(samples);
  ASSERT_TRUE(name);
  EXPECT_TRUE(name->ends_with(".wav"));
  EXPECT_EQ(name->size(), std::string("2026-03-01_09-15-02.wav").size());
  const auto back = readWav(testing::readTextFile(root / "recordings" / *name));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, samples);
}

TEST(SaveRecordingTest, SecondRecordingInTheSameSecondGetsItsOwnName) {
  TempDir dir;
  const auto time = Clock::now();
  const Samples first(800, 1), second(800, 2), third(800, 3);
  const auto a = saveRecordingIn(dir / "recordings" / "deep", first, time);
  const auto b = saveRecordingIn(dir / "recordings" / "deep", second, time);
  const auto c = saveRecordingIn(dir / "recordings" / "deep", third, time);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(b->substr(0, 19), a->substr(0, 19));
  EXPECT_EQ(*b, a->substr(0, 19) + "-2.wav");
  EXPECT_EQ(*c, a->substr(0, 19) + "-3.wav");
  EXPECT_EQ(*readWav(testing::readTextFile(dir / "recordings" / "deep" / *a)), first);
  EXPECT_EQ(*readWav(testing::readTextFile(dir / "recordings" / "deep" / *b)), second);
  size_t files = 0;
  for ([[maybe_unused]] const auto& item : fs::directory_iterator(dir / "recordings" / "deep")) ++files;
  EXPECT_EQ(files, 3u);  // no temporary file left behind
}

TEST(SaveRecordingTest, AnUnwritableFolderGivesNothing) {
  TempDir dir;
  testing::writeTextFile(dir / "file", "x");
  EXPECT_FALSE(saveRecordingIn(dir / "file" / "recordings", Samples(10, 0), Clock::now()));
}

}  // namespace
}  // namespace quorvel
