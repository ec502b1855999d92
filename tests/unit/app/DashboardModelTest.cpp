// The dashboard's model: the history and dictionary it reads, the Dictionary
// page's edits through the cleanup configuration, the History page's search.
#include <gtest/gtest.h>

#include <thread>

#include "FakeMainLoop.h"
#include "TestSupport.h"
#include "app/windows/DashboardModel.h"
#include "app/history/Stats.h"
#include "support/Json.h"
#include "text/WordsChanged.h"

namespace quorvel {
namespace {

using std::chrono::system_clock;
using testing::FakeMainLoop;
using testing::TempDir;
using testing::readTextFile;
using testing::writeTextFile;

std::string line(const std::string& time, const std::string& finalText, const std::string& raw = "") {
  Json object = {{"time", time}, {"final", finalText}, {"raw", raw}, {"audio_s", 1.5},
                 {"after_release_ms", 400}, {"path", "model"}};
  return compactJson(object) + "\n";
}

class DashboardModelTest : public ::testing::Test {
 protected:
  TempDir dir_;
  FakeMainLoop loop_;
  DashboardSources sources_{dir_ / "dictations.jsonl", CleanupFiles{dir_ / "cleanup.json", std::nullopt}};

  void SetUp() override {
    writeTextFile(sources_.cleanup.user,
                  R"({"system": "Clean it.", "dictionary": ["Anna", "Kubernetes"], "examples": []})");
  }

  std::vector<std::string> storedWords() {
    return CleanupConfig::load(sources_.cleanup).dictionary;
  }
  std::unique_ptr<DashboardModel> model() {
    return std::make_unique<DashboardModel>(std::make_shared<DashboardBridge>(), loop_, sources_);
  }
};

TEST_F(DashboardModelTest, ReadsTheHistoryAndTheDictionary) {
  writeTextFile(sources_.history, line("2026-03-01T09:00:00Z", "First one.") + "not json\n" +
                                      line("2026-03-01T09:05:00Z", "") +
                                      R"({"time": "yesterday", "final": "bad time"})" "\n" +
                                      line("2026-03-01T09:10:00Z", "Third one.", "um third one"));
  auto dashboard = model();
  ASSERT_EQ(dashboard->entries().size(), 3u);
  EXPECT_EQ(dashboard->entries()[2].id, 4);  // skipped lines use up their index
  EXPECT_EQ(dashboard->words(), (std::vector<std::string>{"Anna", "Kubernetes"}));
  ASSERT_NE(dashboard->lastDictation(), nullptr);
  EXPECT_EQ(dashboard->lastDictation()->text, "Third one.");
  EXPECT_EQ(dashboard->page, Page::home);
}

TEST_F(DashboardModelTest, TheLastDictationSkipsFailedOnes) {
  writeTextFile(sources_.history, line("2026-03-01T09:00:00Z", "Typed.") + line("2026-03-01T09:05:00Z", ""));
  EXPECT_EQ(model()->lastDictation()->text, "Typed.");
  writeTextFile(sources_.history, line("2026-03-01T09:05:00Z", ""));
  EXPECT_EQ(model()->lastDictation(), nullptr);
}

TEST_F(DashboardModelTest, AddingTrimsTheWordAndEmptiesTheField) {
  auto dashboard = model();
  dashboard->newWord = " \tZanzibar  ";
  dashboard->addWord();
  EXPECT_EQ(dashboard->newWord, "");
  EXPECT_EQ(storedWords(), (std::vector<std::string>{"Anna", "Kubernetes", "Zanzibar"}));
  EXPECT_EQ(dashboard->words(), storedWords());
}

TEST_F(DashboardModelTest, ABlankFieldChangesNothingAndKeepsItsContent) {
  const std::string before = readTextFile(sources_.cleanup.user);
  auto dashboard = model();
  dashboard->newWord = "  \t ";
  dashboard->addWord();
  EXPECT_EQ(dashboard->newWord, "  \t ");
  EXPECT_EQ(readTextFile(sources_.cleanup.user), before);  // not even rewritten
}

TEST_F(DashboardModelTest, RenamingChangesTheStoredDictionaryAndTheListAtOnce) {
  auto dashboard = model();
  int redraws = 0;
  dashboard->onChange = [&] { ++redraws; };
  dashboard->startEdit("Kubernetes");
  EXPECT_EQ(dashboard->editText, "Kubernetes");
  dashboard->editText = "K8s";
  dashboard->saveEdit();
  EXPECT_FALSE(dashboard->editing.has_value());
  EXPECT_EQ(storedWords(), (std::vector<std::string>{"Anna", "K8s"}));
  EXPECT_EQ(dashboard->words(), storedWords());
  EXPECT_GE(redraws, 1);
}

TEST_F(DashboardModelTest, SavingABlankSpellingKeepsTheWordAndLeavesEditMode) {
  const std::string before = readTextFile(sources_.cleanup.user);
  auto dashboard = model();
  dashboard->startEdit("Anna");
  dashboard->editText = "   ";
  dashboard->saveEdit();
  EXPECT_FALSE(dashboard->editing.has_value());
  EXPECT_EQ(readTextFile(sources_.cleanup.user), before);
}

TEST_F(DashboardModelTest, RemovingAWordStoresIt) {
  auto dashboard = model();
  dashboard->startEdit("Anna");
  dashboard->removeWord("Anna");
  EXPECT_EQ(storedWords(), (std::vector<std::string>{"Kubernetes"}));
  EXPECT_EQ(dashboard->words(), storedWords());
  EXPECT_FALSE(dashboard->editing.has_value());
}

TEST_F(DashboardModelTest, AnEditLeavesAnUnreadableConfigurationAlone) {
  writeTextFile(sources_.cleanup.user, "{ broken");
  auto dashboard = model();
  dashboard->newWord = "Zanzibar";
  dashboard->addWord();
  EXPECT_EQ(readTextFile(sources_.cleanup.user), "{ broken");
}

TEST_F(DashboardModelTest, WordsSavedElsewhereShowUpOnTheMainLoop) {
  auto dashboard = model();
  std::thread saver([&] {
    CleanupConfig::updateWords(sources_.cleanup, [](PersonalWords& words) {
      words.add("Learned");
      return true;
    });
  });
  saver.join();
  EXPECT_EQ(dashboard->words().size(), 2u);  // not before the main loop runs
  loop_.runPosted();
  EXPECT_EQ(dashboard->words().back(), "Learned");

  // A notice that lands after the model is gone does nothing.
  WordsChanged::post();
  dashboard.reset();
  loop_.runPosted();
}

TEST_F(DashboardModelTest, ReadingNeverRewritesTheUsersFiles) {
  const std::string history = line("2026-03-01T09:00:00Z", "One.") + "{\"broken\n" + std::string(1 << 20, 'x') +
                              "\n" + line("2099-01-01T00:00:00Z", "From the future.");
  writeTextFile(sources_.history, history);
  const std::string cleanup = readTextFile(sources_.cleanup.user);
  auto dashboard = model();
  dashboard->reload();
  dashboard->search("one");
  dashboard->stats(system_clock::now());
  EXPECT_EQ(dashboard->entries().size(), 2u);
  EXPECT_EQ(readTextFile(sources_.history), history);
  EXPECT_EQ(readTextFile(sources_.cleanup.user), cleanup);
}

TEST_F(DashboardModelTest, TheDaysFiguresStartAfreshAtLocalMidnight) {
  const auto midnight = localDayOf(system_clock::now()).end;
  using std::chrono::minutes;
  writeTextFile(sources_.history, line(iso8601(midnight - minutes(3)), "Late at night.") +
                                      line(iso8601(midnight + minutes(1)), "Early one."));
  auto dashboard = model();
  EXPECT_EQ(dashboard->stats(midnight - minutes(2)).today, 3);  // the first only: the second is tomorrow's
  EXPECT_EQ(dashboard->stats(midnight + minutes(2)).today, 2);  // the same open window, a day later
  EXPECT_EQ(dashboard->stats(midnight - minutes(2)).today, 3);
}

TEST_F(DashboardModelTest, SearchIgnoresCaseAndListsNewestFirst) {
  writeTextFile(sources_.history, line("2026-03-01T09:00:00Z", "Meet at the Straße.") +
                                      line("2026-03-01T09:05:00Z", "Nothing here.") +
                                      line("2026-03-01T09:10:00Z", "STRASSE again") +
                                      line("2026-03-01T09:15:00Z", ""));
  auto dashboard = model();
  EXPECT_EQ(dashboard->search("").size(), 4u);
  EXPECT_EQ(dashboard->search("")[0]->id, 3);
  const auto found = dashboard->search("strasse");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0]->text, "STRASSE again");
  EXPECT_EQ(found[1]->text, "Meet at the Straße.");
  EXPECT_TRUE(dashboard->search("zebra").empty());
}

TEST_F(DashboardModelTest, HistoryIsGroupedByDayNewestFirst) {
  const auto now = system_clock::now();
  const auto day = std::chrono::hours(24);
  writeTextFile(sources_.history, line(iso8601(now - 9 * day), "Older.") + line(iso8601(now - day), "Yesterday.") +
                                      line(iso8601(now), "Now.") + line(iso8601(now), "Also now."));
  auto dashboard = model();
  const auto days = dashboard->history("", now);
  ASSERT_EQ(days.size(), 3u);
  EXPECT_EQ(days[0].title, "Today");
  EXPECT_EQ(days[0].entries.size(), 2u);
  EXPECT_EQ(days[0].entries[0]->text, "Also now.");
  EXPECT_EQ(days[1].title, "Yesterday");
  EXPECT_NE(days[2].title.find(','), std::string::npos);  // "Monday, March 2"
}

TEST(DashboardPages, TitlesAndNames) {
  EXPECT_EQ(pageTitle(Page::dictionary), "Dictionary");
  EXPECT_EQ(pageNamed("settings"), Page::settings);
  EXPECT_EQ(pageNamed("Settings"), std::nullopt);
  EXPECT_EQ(pageNamed("nothing"), std::nullopt);
}

}  // namespace
}  // namespace quorvel
