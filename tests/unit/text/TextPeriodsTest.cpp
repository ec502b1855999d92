// The learned chat full-stop preference on the user defaults.
#include "text/TextPeriods.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

#include "support/Log.h"
#include "support/UserDefaults.h"
#include "TestSupport.h"
#include "support/Settings.h"

namespace quorvel {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

class TextPeriodsTest : public ::testing::Test {
 protected:
  TempDir home_;
  ScopedEnv config_{"XDG_CONFIG_HOME", home_.path().string()};

  long long votes() const {
    return UserDefaults::standard().integerValue(Settings::textPeriodsVotes.key).value_or(-1);
  }
  void change(bool added) { ASSERT_TRUE(TextPeriods::userChanged(added).ok()); }
};

TEST_F(TextPeriodsTest, StartsOffWithoutAnyStoredValue) {
  EXPECT_FALSE(TextPeriods::on());
  EXPECT_FALSE(UserDefaults::standard().contains(Settings::textPeriodsOn.key));
}

TEST_F(TextPeriodsTest, AgreeingEditClearsTheVotes) {
  // From off: added disagrees, removed agrees, added disagrees again.
  change(true);
  EXPECT_EQ(votes(), 1);
  EXPECT_FALSE(TextPeriods::on());
  change(false);
  EXPECT_EQ(votes(), 0);
  EXPECT_FALSE(TextPeriods::on());
  change(true);
  EXPECT_EQ(votes(), 1);
  EXPECT_FALSE(TextPeriods::on());
}

TEST_F(TextPeriodsTest, TwoContraryEditsInARowFlipTheSetting) {
  change(true);
  change(true);
  EXPECT_TRUE(TextPeriods::on());
  EXPECT_EQ(votes(), 0);
  EXPECT_EQ(UserDefaults::standard().boolValue(Settings::textPeriodsOn.key), true);

  // And back: now removing is the contrary edit.
  change(true);
  EXPECT_EQ(votes(), 0);
  change(false);
  EXPECT_TRUE(TextPeriods::on());
  EXPECT_EQ(votes(), 1);
  change(false);
  EXPECT_FALSE(TextPeriods::on());
  EXPECT_EQ(votes(), 0);
}

TEST_F(TextPeriodsTest, ValuesOfAnotherTypeCountAsDefaults) {
  ASSERT_TRUE(UserDefaults::standard().set(Settings::textPeriodsOn.key, "yes").ok());
  ASSERT_TRUE(UserDefaults::standard().set(Settings::textPeriodsVotes.key, "1").ok());
  EXPECT_FALSE(TextPeriods::on());
  // Removing agrees with "off": the votes are cleared and stored as a number.
  change(false);
  EXPECT_EQ(votes(), 0);

  ASSERT_TRUE(UserDefaults::standard().set(Settings::textPeriodsVotes.key, 1.5).ok());
  change(true);
  EXPECT_EQ(votes(), 1);
  EXPECT_FALSE(TextPeriods::on());
}

TEST_F(TextPeriodsTest, HugeStoredVotesDoNotOverflow) {
  ASSERT_TRUE(UserDefaults::standard()
                  .set(Settings::textPeriodsVotes.key, std::numeric_limits<long long>::max())
                  .ok());
  change(true);
  EXPECT_TRUE(TextPeriods::on());
  EXPECT_EQ(votes(), 0);
}

TEST_F(TextPeriodsTest, OtherSettingsAreKept) {
  ASSERT_TRUE(UserDefaults::standard().set("sound", false).ok());
  ASSERT_TRUE(UserDefaults::standard().set("fitText", true).ok());
  change(true);
  change(true);
  EXPECT_EQ(UserDefaults::standard().boolValue("sound"), false);
  EXPECT_EQ(UserDefaults::standard().boolValue("fitText"), true);
}

TEST_F(TextPeriodsTest, ConcurrentVotesAreNotLost) {
  // Each vote is one locked step: however they interleave, two or more contrary
  // votes turn the setting on and a later agreeing one clears the count. A lost
  // update would leave it off with one vote.
  std::vector<std::thread> threads;
  for (int i = 0; i < 6; ++i) {
    threads.emplace_back([] { (void)TextPeriods::userChanged(true); });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_TRUE(TextPeriods::on());
  EXPECT_EQ(votes(), 0);
}

TEST_F(TextPeriodsTest, AnExplicitStoreIsUsed) {
  UserDefaults store(home_ / "suite.json");
  ASSERT_TRUE(TextPeriods::userChanged(store, true).ok());
  ASSERT_TRUE(TextPeriods::userChanged(store, true).ok());
  EXPECT_TRUE(TextPeriods::on(store));
  EXPECT_FALSE(TextPeriods::on());
}

TEST(TextPeriods, UnwritableDefaultsFailWithoutCrashing) {
  TempDir home;
  testing::writeTextFile(home / "file", "not a folder");
  ScopedEnv config("XDG_CONFIG_HOME", (home / "file").string());
  LogCapture log;
  const Status written = TextPeriods::userChanged(true);
  EXPECT_FALSE(written.ok());
  EXPECT_TRUE(log.contains("full-stop preference"));
  EXPECT_FALSE(TextPeriods::on());
}

}  // namespace
}  // namespace quorvel
