// The tag's show, preview and hide rules on a fake window and a fake clock.
#include "app/tag/StatusTag.h"

#include <gtest/gtest.h>

#include <vector>

#include "FakeMainLoop.h"

namespace quorvel {
namespace {

using tag::Rect;

// Records what the rules ask of the window; animations finish at once
// except the fade-out, which the test completes.
class FakeSurface final : public TagSurface {
 public:
  bool isShowing() const override { return showing; }
  Rect frame() const override { return current; }
  std::optional<Rect> usableAreaUnderPointer() const override { return usable; }
  void slideIn(const Rect& start, const Rect& end) override {
    slides.push_back({start, end});
    showing = true;
    current = end;
  }
  void reframe(const Rect& frame) override {
    reframes.push_back(frame);
    current = frame;
    fading = nullptr;  // brought back to full opacity
  }
  void fadeOut(std::function<void()> faded) override { fading = std::move(faded); }
  void hideAtOnce() override { showing = false; ++hiddenAtOnce; }
  void redraw() override { ++redraws; }

  // The fade-out animation ends.
  void finishFade() {
    if (auto done = std::move(fading)) {
      fading = nullptr;
      done();
    }
  }

  bool showing = false;
  Rect current;
  std::optional<Rect> usable = Rect{0, 0, 1920, 1080};
  std::vector<std::pair<Rect, Rect>> slides;
  std::vector<Rect> reframes;
  std::function<void()> fading;
  int hiddenAtOnce = 0;
  int redraws = 0;
};

double sevenPerUnit(std::u16string_view text) { return 7.0 * static_cast<double>(text.size()); }

class StatusTagTest : public ::testing::Test {
 protected:
  testing::FakeMainLoop loop;
  FakeSurface surface;
  bool top = false;
  StatusTag tag{loop, surface, {sevenPerUnit, sevenPerUnit}, [this] { return top; }};
};

TEST_F(StatusTagTest, AHideFollowedByAShowNeverHidesTheNewContent) {
  tag.show(TagMode::failed, "No speech heard");
  tag.hide(2.4);
  loop.advance(Seconds(1.0));
  tag.show(TagMode::recording, "");
  loop.advance(Seconds(2.0));  // the old hide falls due: it must not act
  EXPECT_FALSE(surface.fading);
  EXPECT_TRUE(surface.showing);
  EXPECT_EQ(tag.content().mode, TagMode::recording);
}

TEST_F(StatusTagTest, AShowDuringTheFadeBringsTheTagBackAndTheFadeNeverEndsIt) {
  tag.show(TagMode::done, "12 words");
  tag.hide(0.9);
  loop.advance(Seconds(1.0));
  ASSERT_TRUE(surface.fading);
  auto staleFade = surface.fading;  // the animation still reports its end later
  tag.show(TagMode::recording, "");
  ASSERT_EQ(surface.reframes.size(), 1u);
  staleFade();
  EXPECT_EQ(surface.hiddenAtOnce, 0);
  EXPECT_TRUE(tag.ticking());
}

TEST_F(StatusTagTest, AHideThatActsFadesThenTakesTheTagAwayAndStopsTheTick) {
  tag.show(TagMode::done, "1 word");
  EXPECT_TRUE(tag.ticking());
  tag.hide(0.9);
  loop.advance(Seconds(0.8));
  EXPECT_FALSE(surface.fading);
  loop.advance(Seconds(0.2));
  surface.finishFade();
  EXPECT_EQ(surface.hiddenAtOnce, 1);
  EXPECT_FALSE(tag.ticking());
  EXPECT_EQ(loop.pendingTimers(), 0u);
  EXPECT_EQ(tag.content().mode, TagMode::recording);
}

TEST_F(StatusTagTest, SwitchingIntoRecordingClearsTheBarsAndASecondRecordingShowKeepsThem) {
  tag.setLevelSource([] { return 0.5f; });
  tag.show(TagMode::recording, "");
  loop.advance(Seconds(0.5));  // 15 ticks at 30 Hz
  const double level = tag.content().history.back();
  EXPECT_NEAR(level, 0.575, 1e-6);
  tag.show(TagMode::recording, "");
  EXPECT_EQ(tag.content().history.back(), level);

  tag.show(TagMode::transcribing, "");
  tag.show(TagMode::recording, "");
  for (double value : tag.content().history) EXPECT_EQ(value, 0);
}

TEST_F(StatusTagTest, TheTickRunsAt30HzAndReadsTheLevelSource) {
  int reads = 0;
  tag.setLevelSource([&reads] {
    ++reads;
    return 0.2f;
  });
  tag.show(TagMode::recording, "");
  loop.advance(Seconds(1.0));
  EXPECT_NEAR(reads, 30, 1);
  EXPECT_NEAR(static_cast<double>(tag.content().tick), 30, 1);
}

TEST_F(StatusTagTest, TwoShowsResizeAroundTheCentreInPlace) {
  tag.show(TagMode::recording, "");
  ASSERT_EQ(surface.slides.size(), 1u);
  const Rect first = surface.current;
  tag.show(TagMode::transcribing, "");
  EXPECT_EQ(surface.slides.size(), 1u);
  ASSERT_EQ(surface.reframes.size(), 1u);
  const Rect second = surface.reframes.back();
  EXPECT_NEAR(second.x + second.width / 2, first.x + first.width / 2, 0.5);
  EXPECT_EQ(second.y + second.height, first.y + first.height);
  EXPECT_EQ(second.width, 12 * 7 + 80);
}

TEST_F(StatusTagTest, TheFirstPartialTextWidensTheTagAndLaterOnesDoNot) {
  tag.show(TagMode::polishing, "");
  tag.setPreview("Can you");
  ASSERT_EQ(surface.reframes.size(), 1u);
  EXPECT_EQ(surface.reframes.back().width, 440);
  const int redraws = surface.redraws;
  tag.setPreview("Can you check the conversion rate");
  EXPECT_EQ(surface.reframes.size(), 1u);
  EXPECT_GT(surface.redraws, redraws);
  EXPECT_EQ(tag.content().label.text, u"Can you check the conversion rate");
}

TEST_F(StatusTagTest, PartialTextOutsidePolishingOrWhileHiddenIsIgnored) {
  tag.setPreview("too early");
  EXPECT_TRUE(surface.slides.empty());
  tag.show(TagMode::transcribing, "");
  tag.setPreview("not now");
  EXPECT_EQ(tag.content().mode, TagMode::transcribing);
  EXPECT_EQ(tag.content().preview, "");
}

TEST_F(StatusTagTest, AppearsAtTheTopOrBottomOfTheUsableAreaOfAScreenWithPanels) {
  surface.usable = Rect{0, 32, 1920, 1000};  // a top bar and a dock
  top = true;
  tag.show(TagMode::recording, "");
  ASSERT_EQ(surface.slides.size(), 1u);
  EXPECT_EQ(surface.slides[0].second.y, 42);
  EXPECT_EQ(surface.slides[0].first.y, 34);  // starts 8 higher and slides down

  tag.hide(0);
  loop.advance(Seconds(0.01));
  surface.finishFade();
  top = false;
  tag.show(TagMode::recording, "");
  ASSERT_EQ(surface.slides.size(), 2u);
  EXPECT_EQ(surface.slides[1].second.y, 32 + 1000 - 24 - 32);
  EXPECT_EQ(surface.slides[1].first.y, surface.slides[1].second.y + 8);
}

TEST_F(StatusTagTest, NoScreenOrAChangingScreenListStillLeavesASaneTag) {
  surface.usable.reset();
  tag.show(TagMode::recording, "");
  ASSERT_EQ(surface.slides.size(), 1u);
  EXPECT_GT(surface.current.x, 0);

  // The screen it was on goes away; a smaller one remains.
  surface.usable = Rect{0, 0, 800, 600};
  tag.screensChanged();
  ASSERT_EQ(surface.reframes.size(), 1u);
  EXPECT_EQ(surface.reframes.back(), (Rect{334, 600 - 56, 133, 32}));
}

TEST_F(StatusTagTest, OddDelaysAndLevelsDoNoHarm) {
  tag.setLevelSource([] { return std::numeric_limits<float>::quiet_NaN(); });
  tag.show(TagMode::recording, "");
  tag.hide(-5);
  tag.hide(std::numeric_limits<double>::quiet_NaN());
  loop.advance(Seconds(0.1));
  EXPECT_TRUE(surface.fading);
  for (double value : tag.content().history) EXPECT_EQ(value, 0);
}

TEST(StatusTagLifetimeTest, TimersOutlivingTheTagDoNothing) {
  testing::FakeMainLoop loop;
  FakeSurface surface;
  {
    StatusTag tag(loop, surface, {sevenPerUnit, sevenPerUnit}, nullptr);
    tag.show(TagMode::done, "2 words");
    tag.hide(0.5);
  }
  EXPECT_EQ(loop.pendingTimers(), 0u);
  loop.advance(Seconds(1));
}

}  // namespace
}  // namespace quorvel
