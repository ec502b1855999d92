// The edit watcher on a fake clock against a fake field.
#include <gtest/gtest.h>

#include "tests/unit/app/ShellFixture.h"
#include "text/CleanupConfig.h"
#include "text/TextPeriods.h"
#include "support/Settings.h"

namespace quorvel::testing {
namespace {

class Watcher : public ShellTest {
 protected:
  std::vector<std::string> dictionary() { return CleanupConfig::load(cleanupFiles).dictionary; }
  bool knows(const std::string& word) {
    const auto words = dictionary();
    return std::find(words.begin(), words.end(), word) != words.end();
  }
  // The dictation is typed into the field and handed to the watcher.
  void typed(const std::u16string& text, bool dropped = false, bool kept = false) {
    desktop.type(text);
    std::string utf8(text.begin(), text.end());  // ASCII in these tests
    watcher.typed(utf8, dropped, kept);
  }
};

TEST_F(Watcher, ACorrectedNameIsLearnedAtTheNextDictation) {
  typed(u"Please send it to Katrin tomorrow.");
  EXPECT_TRUE(watcher.ticking());
  desktop.type(u"Please send it to Catrin tomorrow.");
  loop.advance(2.0);
  EXPECT_FALSE(knows("Catrin"));  // seen, not yet taken in
  watcher.beforeDictation();
  EXPECT_TRUE(knows("Catrin"));
}

TEST_F(Watcher, AFourthDictationDropsTheOldestWithoutTakingItIn) {
  typed(u"Please send it to Katrin tomorrow.");
  desktop.type(u"Please send it to Catrin tomorrow.");
  loop.advance(2.0);
  typed(u"One more line here.");
  typed(u"And another line.");
  typed(u"The last line.");
  EXPECT_EQ(watcher.watchedCount(), 3u);
  EXPECT_FALSE(knows("Catrin"));
  watcher.takeIn();
  EXPECT_TRUE(knows("Catrin"));
}

TEST_F(Watcher, AnotherApplicationInFrontIsNotRead) {
  typed(u"Please send it to Katrin tomorrow.");
  desktop.app = "org.mozilla.firefox";
  desktop.field.reset();
  const int reads = desktop.reads;
  loop.advance(6.0);
  EXPECT_EQ(desktop.reads, reads);
  EXPECT_EQ(watcher.watchedCount(), 1u);
  EXPECT_TRUE(watcher.ticking());
}

TEST_F(Watcher, DeletedTextIsDroppedAndItsCorrectionsLearnedAtOnce) {
  typed(u"Please send it to Katrin tomorrow.");
  desktop.type(u"Please send it to Catrin tomorrow.");
  loop.advance(2.0);
  desktop.type(u"");
  loop.advance(2.0);
  EXPECT_EQ(watcher.watchedCount(), 0u);
  EXPECT_FALSE(watcher.ticking());
  EXPECT_TRUE(knows("Catrin"));
}

TEST_F(Watcher, AHalfTypedCorrectionIsNotLearned) {
  typed(u"Please send it to Katrin tomorrow.");
  desktop.typeAround(u"Please send it to Cat", u" tomorrow.");
  loop.advance(2.0);
  desktop.typeAround(u"Please send it to Catrin", u" tomorrow.");
  loop.advance(2.0);
  desktop.type(u"Please send it to Catrin tomorrow.");
  loop.advance(2.0);
  watcher.takeIn();
  EXPECT_TRUE(knows("Catrin"));
  EXPECT_FALSE(knows("Cat"));
}

TEST_F(Watcher, TurningFittingOffStopsTheTimer) {
  typed(u"Please send it to Katrin tomorrow.");
  ASSERT_TRUE(UserDefaults().set("fitText", false).ok());
  loop.advance(2.0);
  EXPECT_FALSE(watcher.ticking());
  EXPECT_EQ(loop.pendingTimers(), 0u);
}

TEST_F(Watcher, WatchingEndsAfterFifteenMinutes) {
  typed(u"Please send it to Katrin tomorrow.");
  loop.advance(EditWatcher::watchSeconds + 2.0);
  EXPECT_EQ(watcher.watchedCount(), 0u);
  EXPECT_FALSE(watcher.ticking());
}

TEST_F(Watcher, AnAddedPeriodIsReportedOnce) {
  typed(u"See you at noon", /*dropped=*/true);
  desktop.type(u"See you at noon.");
  loop.advance(2.0);
  EXPECT_EQ(UserDefaults().integerValue(Settings::textPeriodsVotes.key), 1);
  loop.advance(6.0);
  EXPECT_EQ(UserDefaults().integerValue(Settings::textPeriodsVotes.key), 1);
  EXPECT_FALSE(TextPeriods::on());
}

TEST_F(Watcher, NothingIsWatchedWithoutPermissionOrAnApplication) {
  desktop.trusted = false;
  typed(u"Please send it to Katrin tomorrow.");
  EXPECT_EQ(watcher.watchedCount(), 0u);
  desktop.trusted = true;
  desktop.app.reset();
  typed(u"Please send it to Katrin tomorrow.");
  EXPECT_EQ(watcher.watchedCount(), 0u);
  EXPECT_FALSE(watcher.ticking());
}

}  // namespace
}  // namespace quorvel::testing
