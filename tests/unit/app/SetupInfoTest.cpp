// The setup progress record's initial value and derived figures.
#include "app/models/SetupInfo.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(SetupInfo, StartsReadyWithNothingToShow) {
  const SetupInfo info;
  EXPECT_EQ(info.phase, SetupInfo::Phase::ready);
  EXPECT_EQ(info.done, 0);
  EXPECT_EQ(info.total, 0);
  EXPECT_FALSE(info.secondsLeft.has_value());
  EXPECT_EQ(info.message, "");
  EXPECT_FALSE(info.justFinished);
}

TEST(SetupInfo, FractionAndPercentStayWithinTheirBounds) {
  struct Case {
    std::int64_t done, total;
    double fraction;
    int percent;
  };
  const Case cases[] = {
      {0, 0, 0, 0},
      {500, 0, 0, 0},               // no total: nothing, whatever done holds
      {500, -1, 0, 0},
      {0, 1000, 0, 0},
      {425, 1000, 0.425, 42},
      {999, 1000, 0.999, 99},
      {1000, 1000, 1, 99},          // finished still shows 99, never 100
      {2000, 1000, 1, 99},          // more than the total is capped
      {-5, 1000, 0, 0},
      {1, 3, 1.0 / 3, 33},
  };
  for (const auto& c : cases) {
    SetupInfo info;
    info.done = c.done;
    info.total = c.total;
    EXPECT_DOUBLE_EQ(info.fraction(), c.fraction) << c.done << "/" << c.total;
    EXPECT_EQ(info.percent(), c.percent) << c.done << "/" << c.total;
  }
}

TEST(SetupInfo, PhasesKeepTheirOrder) {
  EXPECT_LT(SetupInfo::Phase::downloading, SetupInfo::Phase::starting);
  EXPECT_LT(SetupInfo::Phase::starting, SetupInfo::Phase::ready);
  EXPECT_LT(SetupInfo::Phase::ready, SetupInfo::Phase::failed);
}

}  // namespace
}  // namespace quorvel
