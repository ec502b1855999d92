// The cleanup configuration file: strict loading with fallbacks, saving only
// the word keys, atomic and locked writes, migration, seeding and the notice.
#include "text/CleanupConfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "support/Files.h"
#include "support/Json.h"
#include "support/Log.h"
#include "support/UserDefaults.h"
#include "TestSupport.h"
#include "text/WordsChanged.h"
#include "support/Settings.h"

namespace quorvel {
namespace {

using testing::resourcesFolder;


using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::readTextFile;
using testing::TempDir;
using testing::writeTextFile;

constexpr const char* kResource = R"({
  "system": "Resource prompt",
  "dictionary": ["Resourceword"],
  "examples": [["in", "out"]],
  "custom": {"kept": true}
})";

constexpr const char* kUser = R"({"system": "User prompt", "dictionary": ["Anna", "Bob"],
  "examples": [["a", "b"], ["c", "d", "e"]], "aliases": {"bobby": "Bob"},
  "learned": ["Bob"], "recent": null, "zUnknown": "https://example.com/a/b", "speechHints": []})";

class CleanupConfigTest : public ::testing::Test {
 protected:
  CleanupFiles files() const { return {dir_ / "data/cleanup.json", dir_ / "res/cleanup.json"}; }
  void writeUser(const std::string& text) const { writeTextFile(files().user, text); }
  void writeResource(const std::string& text) const { writeTextFile(*files().resource, text); }
  Json userJson() const { return parseJson(readTextFile(files().user)).value_or(Json()); }

  TempDir dir_;
};

// Counts notices while alive.
struct NoticeCounter {
  std::atomic<int> count{0};
  WordsChanged::Observation observation{[this] { ++count; }};
};

TEST_F(CleanupConfigTest, LoadsTheUsersFileStrictly) {
  writeUser(kUser);
  writeResource(kResource);
  const CleanupConfig config = CleanupConfig::load(files());
  EXPECT_EQ(config.system, "User prompt");
  EXPECT_THAT(config.dictionary, ElementsAre("Anna", "Bob"));
  EXPECT_EQ(config.examples.size(), 2u);
  EXPECT_FALSE(config.recent.has_value());
  ASSERT_TRUE(config.speechHints.has_value());
  const PersonalWords words = config.personal();
  EXPECT_EQ(words.aliases.at("bobby"), "Bob");
  EXPECT_THAT(words.learned, ElementsAre("Bob"));
  EXPECT_THAT(words.recent, IsEmpty());
}

TEST_F(CleanupConfigTest, FallsBackFromABrokenUserFileAndNeverWritesIt) {
  writeResource(kResource);
  const std::string huge = "{\"system\": \"x\", \"dictionary\": [], \"examples\": [], \"pad\": \"" +
                           std::string(17u * 1024u * 1024u, 'a') + "\"}";
  const std::string broken[] = {
      "",
      "not json at all",
      "[1, 2, 3]",
      R"({"system": "no examples", "dictionary": []})",
      R"({"system": 5, "dictionary": [], "examples": []})",
      R"({"system": "s", "dictionary": ["a", 1], "examples": []})",
      R"({"system": "s", "dictionary": [], "examples": [["a", 2]]})",
      R"({"system": "s", "dictionary": [], "examples": [], "aliases": {"a": 1}})",
      R"({"system": "s", "dictionary": [], "examples": [], "learned": "Bob"})",
      "{\"system\": \"s\xFF\", \"dictionary\": [", huge,
  };
  for (const std::string& text : broken) {
    writeUser(text);
    LogCapture log;
    const CleanupConfig config = CleanupConfig::load(files());
    EXPECT_EQ(config.system, "Resource prompt") << text.substr(0, 80);
    EXPECT_THAT(config.dictionary, ElementsAre("Resourceword"));
    EXPECT_EQ(readTextFile(files().user), text);
  }
}

TEST_F(CleanupConfigTest, WithoutAnyFileTheDefaultRecordApplies) {
  const CleanupConfig config = CleanupConfig::load(files());
  EXPECT_EQ(config, CleanupConfig::defaultRecord());
  EXPECT_EQ(config.system, "Clean up this dictated text. Output only the cleaned text.");
  EXPECT_EQ(config.personal(), PersonalWords{});
  writeResource("{broken");
  EXPECT_EQ(CleanupConfig::load(files()), CleanupConfig::defaultRecord());
}

TEST_F(CleanupConfigTest, SaveWordsKeepsOtherKeysSortedWithSlashesUnescaped) {
  writeUser(kUser);
  NoticeCounter notices;
  PersonalWords words;
  words.dictionary = {"Zoë", "a/b \"quoted\" \\ 🚀"};
  words.aliases = {{"zoe", "Zoë"}};
  CleanupConfig::saveWords(files(), words);
  EXPECT_EQ(notices.count, 1);

  const Json saved = userJson();
  EXPECT_EQ(saved["system"], "User prompt");
  EXPECT_EQ(saved["zUnknown"], "https://example.com/a/b");
  EXPECT_EQ(saved["speechHints"], Json::array());
  EXPECT_EQ(saved["examples"].size(), 2u);
  EXPECT_EQ(saved["dictionary"], Json({"Zoë", "a/b \"quoted\" \\ 🚀"}));
  EXPECT_EQ(saved["learned"], Json::array());
  EXPECT_EQ(saved["recent"], Json::array());
  EXPECT_EQ(saved["aliases"], Json({{"zoe", "Zoë"}}));

  const std::string text = readTextFile(files().user);
  EXPECT_NE(text.find("https://example.com/a/b"), std::string::npos);  // "/" not escaped
  EXPECT_LT(text.find("\"aliases\""), text.find("\"dictionary\""));
  EXPECT_LT(text.find("\"dictionary\""), text.find("\"examples\""));
  EXPECT_LT(text.find("\"system\""), text.find("\"zUnknown\""));
  EXPECT_EQ(CleanupConfig::load(files()).personal(), words);
}

TEST_F(CleanupConfigTest, SaveWordsLeavesANonObjectFileAlone) {
  NoticeCounter notices;
  PersonalWords words;
  words.dictionary = {"Anna"};
  for (const std::string text : {"[\"a\", \"b\"]", "not json", "\"text\""}) {
    writeUser(text);
    CleanupConfig::saveWords(files(), words);
    EXPECT_EQ(readTextFile(files().user), text);
  }
  EXPECT_EQ(notices.count, 0);
}

TEST_F(CleanupConfigTest, SaveWordsCreatesTheUserFileFromTheResource) {
  writeResource(kResource);
  PersonalWords words;
  words.add("Anna");
  CleanupConfig::saveWords(files(), words);
  const Json saved = userJson();
  EXPECT_EQ(saved["system"], "Resource prompt");
  EXPECT_EQ(saved["custom"], Json({{"kept", true}}));
  EXPECT_EQ(saved["dictionary"], Json({"Anna"}));
  // No temporary files are left beside it.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(files().user.parent_path())) ++entries;
  EXPECT_EQ(entries, 2);  // cleanup.json and its lock file
}

TEST_F(CleanupConfigTest, SaveWordsWithoutAnyFileStillKeepsTheWords) {
  PersonalWords words;
  words.add("Anna");
  CleanupConfig::saveWords(files(), words);
  const CleanupConfig loaded = CleanupConfig::load(files());
  EXPECT_EQ(loaded.system, CleanupConfig::defaultRecord().system);
  EXPECT_THAT(loaded.dictionary, ElementsAre("Anna"));
}

TEST_F(CleanupConfigTest, SaveWordsWritesThroughASymbolicLink) {
  writeTextFile(dir_ / "elsewhere/real.json", kUser);
  std::filesystem::create_directories(files().user.parent_path());
  std::filesystem::create_symlink(dir_ / "elsewhere/real.json", files().user);
  PersonalWords words;
  words.add("Linked");
  CleanupConfig::saveWords(files(), words);
  EXPECT_TRUE(std::filesystem::is_symlink(files().user));
  EXPECT_THAT(CleanupConfig::load(files()).dictionary, ElementsAre("Linked"));
}

TEST_F(CleanupConfigTest, UpdateWordsChangesTheStoredWords) {
  writeUser(R"({"system": "s", "dictionary": ["Anna"], "other": 1})");  // no "examples": load skips it
  writeResource(kResource);
  EXPECT_TRUE(CleanupConfig::updateWords(files(), [](PersonalWords& words) {
    EXPECT_THAT(words.dictionary, ElementsAre("Anna"));  // the user's words, not the resource's
    words.add("Bob");
    return true;
  }));
  EXPECT_EQ(userJson()["dictionary"], Json({"Anna", "Bob"}));
  EXPECT_EQ(userJson()["other"], 1);
  EXPECT_FALSE(CleanupConfig::updateWords(files(), [](PersonalWords&) { return false; }));
}

TEST_F(CleanupConfigTest, UpdateWordsRefusesToOverwriteWordsOfTheWrongType) {
  const std::string text = R"({"system": "s", "dictionary": ["Anna"], "examples": [], "learned": "oops"})";
  writeUser(text);
  LogCapture log;
  bool called = false;
  EXPECT_FALSE(CleanupConfig::updateWords(files(), [&](PersonalWords&) { return called = true; }));
  EXPECT_FALSE(called);
  EXPECT_EQ(readTextFile(files().user), text);
  EXPECT_TRUE(log.contains("wrong type"));
}

TEST_F(CleanupConfigTest, EachDifferentMessageAboutABrokenFileIsLoggedOnce) {
  writeUser("{\"system\": \"a file broken in a way all its own");
  LogCapture log;
  for (int i = 0; i < 2; ++i) {
    (void)CleanupConfig::load(files());
    CleanupConfig::saveWords(files(), PersonalWords{});
  }
  const auto count = [&](const std::string& fragment) {
    const auto lines = log.lines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.find(fragment) != std::string::npos; });
  };
  EXPECT_EQ(count("is not a valid cleanup configuration"), 1);
  EXPECT_EQ(count("the personal words were not saved"), 1);
}

TEST_F(CleanupConfigTest, ConcurrentUpdatesFromThreadsAllSurvive) {
  writeUser(kUser);
  constexpr int kThreads = 4;
  constexpr int kWords = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kWords; ++i) {
        CleanupConfig::updateWords(files(), [&](PersonalWords& words) {
          words.add("T" + std::to_string(t) + "w" + std::to_string(i));
          return true;
        });
      }
    });
  }
  // Meanwhile every read sees a whole file.
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done) {
      const auto text = readWholeFile(files().user);
      ASSERT_TRUE(text.has_value());
      ASSERT_TRUE(parseJson(*text).has_value()) << *text;
    }
  });
  for (auto& thread : threads) thread.join();
  done = true;
  reader.join();
  EXPECT_EQ(CleanupConfig::load(files()).dictionary.size(), 2u + kThreads * kWords);
}

TEST_F(CleanupConfigTest, ConcurrentUpdatesFromTwoProcessesAllSurvive) {
  writeUser(kUser);
  constexpr int kWords = 40;
  auto addWords = [this](const std::string& prefix) {
    for (int i = 0; i < kWords; ++i) {
      CleanupConfig::updateWords(files(), [&](PersonalWords& words) {
        words.add(prefix + std::to_string(i));
        return true;
      });
    }
  };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    addWords("child");
    _exit(0);
  }
  addWords("parent");
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto dictionary = CleanupConfig::load(files()).dictionary;
  EXPECT_EQ(dictionary.size(), 2u + 2 * kWords);
  for (const char* word : {"child0", "child39", "parent0", "parent39"}) {
    EXPECT_NE(std::find(dictionary.begin(), dictionary.end(), word), dictionary.end()) << word;
  }
}

TEST_F(CleanupConfigTest, MigratesSpeechHintsOnce) {
  writeUser(R"({"system": "s", "dictionary": ["Anna"], "examples": [],
    "speechHints": ["anna", "Kubernetes"], "learned": ["hi Bob"], "x/y": "z"})");
  NoticeCounter notices;
  CleanupConfig::migrateSpeechHints(files());
  Json saved = userJson();
  EXPECT_EQ(saved["dictionary"], Json({"Anna", "Kubernetes", "Bob"}));  // repaired learned word too
  EXPECT_EQ(saved["learned"], Json({"Bob"}));
  EXPECT_EQ(saved["speechHints"], Json::array());
  EXPECT_EQ(saved["x/y"], "z");
  EXPECT_EQ(notices.count, 1);

  const std::string after = readTextFile(files().user);
  CleanupConfig::migrateSpeechHints(files());
  EXPECT_EQ(readTextFile(files().user), after);
  EXPECT_EQ(notices.count, 1);
}

TEST_F(CleanupConfigTest, MigrationLeavesFilesWithoutHintsAlone) {
  CleanupConfig::migrateSpeechHints(files());  // no file
  EXPECT_FALSE(pathExists(files().user));
  for (const std::string text : {R"({"speechHints": "Anna"})", R"({"speechHints": [1]})", "[]"}) {
    writeUser(text);
    CleanupConfig::migrateSpeechHints(files());
    EXPECT_EQ(readTextFile(files().user), text);
  }
}

TEST_F(CleanupConfigTest, SeedsTheProductWordOnce) {
  testing::ScopedEnv config("XDG_CONFIG_HOME", (dir_ / "config").string());
  writeUser(kUser);
  UserDefaults defaults;
  EXPECT_TRUE(CleanupConfig::seedProductWord(files(), defaults));
  EXPECT_EQ(defaults.boolValue(Settings::addedProductWord.key), true);
  EXPECT_THAT(CleanupConfig::load(files()).dictionary, ElementsAre("Quorvel", "Anna", "Bob"));

  PersonalWords words;  // the user removes it again: it stays removed
  words.dictionary = {"Anna"};
  CleanupConfig::saveWords(files(), words);
  EXPECT_FALSE(CleanupConfig::seedProductWord(files(), defaults));
  EXPECT_THAT(CleanupConfig::load(files()).dictionary, ElementsAre("Anna"));
}

TEST_F(CleanupConfigTest, SeedingSkipsAProductWordInAnyCase) {
  testing::ScopedEnv config("XDG_CONFIG_HOME", (dir_ / "config").string());
  writeUser(R"({"system": "s", "dictionary": ["quorvel"], "examples": []})");
  const std::string before = readTextFile(files().user);
  UserDefaults defaults;
  ASSERT_TRUE(defaults.set(Settings::addedProductWord.key, false).ok());
  EXPECT_FALSE(CleanupConfig::seedProductWord(files(), defaults));
  EXPECT_EQ(defaults.boolValue(Settings::addedProductWord.key), true);
  EXPECT_EQ(readTextFile(files().user), before);
}

TEST(CleanupResource, TheShippedDefaultDecodesWithExamplePairs) {
  const auto text = readWholeFile(resourcesFolder() / "cleanup.json");
  ASSERT_TRUE(text.has_value());
  const auto parsed = parseJson(*text);
  ASSERT_TRUE(parsed.has_value());
  const auto config = decodeCleanupConfig(*parsed);
  ASSERT_TRUE(config.has_value());
  EXPECT_NE(config->system.find("Output only the cleaned text"), std::string::npos);
  EXPECT_NE(config->system.find("{DICTIONARY}"), std::string::npos);
  EXPECT_THAT(config->dictionary, IsEmpty());
  ASSERT_GE(config->examples.size(), 4u);
  for (const auto& example : config->examples) EXPECT_EQ(example.size(), 2u);
}

TEST(WordsChangedNotice, ObserversRunUntilStopped) {
  int first = 0;
  int second = 0;
  const auto a = WordsChanged::observe([&] { ++first; });
  {
    WordsChanged::Observation scoped([&] { ++second; });
    WordsChanged::post();
  }
  WordsChanged::post();
  WordsChanged::stopObserving(a);
  WordsChanged::post();
  EXPECT_EQ(first, 2);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(WordsChanged::observe(nullptr), 0u);
}

TEST(WordsChangedNotice, AFailingObserverDoesNotStopTheOthers) {
  LogCapture log;
  int calls = 0;
  WordsChanged::Observation failing([] { throw std::runtime_error("boom"); });
  WordsChanged::Observation counting([&] { ++calls; });
  WordsChanged::post();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(log.contains("boom"));
}

TEST(WordsChangedNotice, StoppingWaitsForARunningObserver) {
  std::atomic<bool> entered{false};
  std::atomic<bool> finished{false};
  const auto token = WordsChanged::observe([&] {
    entered = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    finished = true;
  });
  std::thread poster([] { WordsChanged::post(); });
  while (!entered) std::this_thread::yield();
  WordsChanged::stopObserving(token);
  EXPECT_TRUE(finished);
  poster.join();
}

}  // namespace
}  // namespace quorvel
