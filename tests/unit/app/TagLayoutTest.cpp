// The tag's label fitting, widths and placement, with a fake font whose
// characters are all 7 px wide.
#include "app/tag/TagLayout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace quorvel::tag {
namespace {

// Counts UTF-16 units: close enough to a font for rules about widths.
double sevenPerUnit(std::u16string_view text) { return 7.0 * static_cast<double>(text.size()); }

const TagFonts kFonts{sevenPerUnit, [](std::u16string_view text) { return 6.5 * static_cast<double>(text.size()); }};

std::u16string u16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

TEST(TagLabelTest, LineBreaksBecomeSpacesAndOnlyTheLast90CharactersRemain) {
  struct Case {
    std::string input;
    std::u16string text;
    bool shortened;
  };
  const std::string ninety(90, 'a');
  const Case cases[] = {
      {"Hello\nworld", u"Hello world", false},
      {"one\r\ntwo\rthree\u2028four", u"one two three four", false},
      {"\n\n\n", u"   ", false},
      {ninety, u16(ninety), false},
      {"X" + ninety, u16(ninety), true},
      {std::string(100, 'b') + "\nend", u16(std::string(86, 'b') + " end"), true},
      {"", u"", false},
  };
  for (const Case& c : cases) {
    const LabelText label = labelText(c.input);
    EXPECT_EQ(label.text, c.text) << c.input;
    EXPECT_EQ(label.shortened, c.shortened) << c.input;
  }
}

TEST(TagLabelTest, CountsUserPerceivedCharactersAndRepairsBrokenText) {
  // 100 family emoji (each several code points) keep 90 whole ones.
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
  std::string many;
  for (int i = 0; i < 100; ++i) many += family;
  const LabelText label = labelText(many);
  EXPECT_TRUE(label.shortened);
  EXPECT_EQ(label.text.size(), 90u * 8u);  // 3 surrogate pairs and 2 joiners each

  EXPECT_EQ(labelText("ok \xFF\xFE").text, u"ok \uFFFD\uFFFD");
  EXPECT_EQ(labelText("\u05E9\u05DC\u05D5\u05DD").text, u"\u05E9\u05DC\u05D5\u05DD");
}

TEST(TagLabelTest, AMegabyteKeepsItsEndCheaply) {
  std::string huge(1 << 20, 'x');
  huge += "the end";
  const LabelText label = labelText(huge);
  EXPECT_TRUE(label.shortened);
  EXPECT_EQ(label.text.size(), 90u);
  EXPECT_EQ(label.text.substr(83), u"the end");
}

TEST(TagLabelTest, DropsLeadingCharactersUntilTheTextAndItsEllipsisFit) {
  const LabelText label{u"Can you check the rate", false};  // 22 characters, 154 px
  EXPECT_EQ(fitLabel(label, 154, sevenPerUnit), u"Can you check the rate");
  // 100 px holds 14 characters: the ellipsis and the last 13.
  EXPECT_EQ(fitLabel(label, 100, sevenPerUnit), u"\u2026heck the rate");
  EXPECT_LE(sevenPerUnit(fitLabel(label, 100, sevenPerUnit)), 100);
  // Already shortened before: the ellipsis stays even when the rest fits.
  EXPECT_EQ(fitLabel({u"end", true}, 500, sevenPerUnit), u"\u2026end");
  // No room at all still leaves the last character.
  EXPECT_EQ(fitLabel(label, 0, sevenPerUnit), u"\u2026e");
  EXPECT_EQ(fitLabel({u"x", false}, 0, sevenPerUnit), u"x");
  EXPECT_EQ(fitLabel({u"", false}, 0, sevenPerUnit), u"");
}

TEST(TagLabelTest, FittingMatchesDroppingOneCharacterAtATime) {
  // The halving search must agree with the plain rule for every room.
  const LabelText label{u"The quick brown fox jumps over the lazy dog", false};
  for (int room = 0; room <= 320; ++room) {
    std::u16string plain = label.text;
    while (plain.size() > 1 && sevenPerUnit((plain == label.text ? u"" : u"\u2026") + plain) > room) {
      plain.erase(0, 1);
    }
    const std::u16string expected = (plain == label.text ? u"" : u"\u2026") + plain;
    EXPECT_EQ(fitLabel(label, room, sevenPerUnit), expected) << room;
  }
}

TEST(TagWidthTest, EachModeTakesTheWidthItsContentNeeds) {
  auto width = [](TagMode mode, const std::string& preview) {
    TagContent content;
    content.mode = mode;
    content.setPreview(preview);
    return idealWidth(content, kFonts);
  };
  EXPECT_EQ(width(TagMode::recording, "ignored"), 132.5);
  EXPECT_EQ(width(TagMode::transcribing, ""), 12 * 7 + 80);
  EXPECT_EQ(width(TagMode::polishing, ""), 11 * 7 + 80);
  EXPECT_EQ(width(TagMode::polishing, "a"), 440);
  EXPECT_EQ(width(TagMode::done, "19 words"), 35 + 45 + std::ceil(8 * 6.5) + 16);
  EXPECT_EQ(width(TagMode::failed, ""), 17 * 7 + 30);
  EXPECT_EQ(width(TagMode::failed, "No microphone"), 13 * 7 + 30);
  // However long the text, the tag stays a tag.
  EXPECT_EQ(width(TagMode::failed, std::string(5000, 'w')), kMaxWidth);
  EXPECT_EQ(width(TagMode::done, std::string(5000, '1')), kMaxWidth);
}

TEST(TagLabelTest, EachModeWritesTheUsersTextOrItsOwnWord) {
  struct Case {
    TagMode mode;
    std::string preview;
    std::u16string shown;
    bool userText;
  };
  const Case cases[] = {
      {TagMode::recording, "ignored", u"", false},
      {TagMode::transcribing, "ignored", u"Transcribing", false},
      {TagMode::polishing, "", u"Cleaning up", false},
      {TagMode::polishing, "Send it\nby Friday", u"Send it by Friday", true},
      {TagMode::done, "19 words", u"19 words", true},
      {TagMode::failed, "", u"Didn't catch that", false},
      {TagMode::failed, "No microphone", u"No microphone", true},
  };
  for (const Case& c : cases) {
    TagContent content;
    content.mode = c.mode;
    content.setPreview(c.preview);
    const ShownLabel shown = shownLabel(content);
    EXPECT_EQ(shown.text.text, c.shown) << c.preview;
    EXPECT_EQ(shown.userText, c.userText) << c.preview;
  }
  // A long text keeps its end, marked as shortened for the ellipsis.
  TagContent content;
  content.mode = TagMode::polishing;
  content.setPreview(std::string(200, 'w'));
  EXPECT_TRUE(shownLabel(content).text.shortened);
}

TEST(TagContentTest, LevelsJoinTheHistoryScaledAndKeptInRange) {
  TagContent content;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inputs[] = {0.5, 2.0, -1.0, nan, std::numeric_limits<double>::infinity(), 0.8};
  for (double level : inputs) content.step(level);
  const double expected[] = {0.575, 1.0, 0.0, 0.0, 0.0, 0.92};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(content.history[kHistoryLength - 6 + i], expected[i], 1e-9) << i;
  EXPECT_EQ(content.tick, 6u);

  content.mode = TagMode::transcribing;
  content.step(1.0);
  EXPECT_EQ(content.tick, 7u);
  EXPECT_NEAR(content.history.back(), 0.92, 1e-9);  // only recording moves the bars
}

TEST(TagPlacementTest, SitsAboveTheBottomOrBelowTheTopOfTheUsableArea) {
  // A 1920 × 1080 screen with a 40 px panel at the top and a 60 px dock at the bottom.
  const Rect usable{0, 40, 1920, 980};
  const Placement bottom = placeTag(usable, 133, false);
  EXPECT_EQ(bottom.end, (Rect{894, 1020 - 24 - 32, 133, 32}));
  EXPECT_EQ(bottom.start.y, bottom.end.y + 8);  // slides up into place
  EXPECT_EQ(bottom.start.x, bottom.end.x);

  const Placement top = placeTag(usable, 133, true);
  EXPECT_EQ(top.end, (Rect{894, 50, 133, 32}));
  EXPECT_EQ(top.start.y, 42);  // slides down into place

  // A second screen to the right, and one narrower than the tag.
  EXPECT_EQ(placeTag({1920, 0, 1280, 1024}, 440, false).end.x, 1920 + 640 - 220);
  EXPECT_EQ(placeTag({100, 0, 300, 200}, 440, false).end.x, 100);
}

TEST(TagPlacementTest, ResizingKeepsTheCentreAndTheBottomEdge) {
  const Rect recording{894, 964, 133, 32};
  const Rect wider = resizeAroundCentre(recording, 440);
  EXPECT_EQ(wider, (Rect{741, 964, 440, 32}));  // centre 960.5
  EXPECT_EQ(resizeAroundCentre({0, 0, 100, 32}, std::nan("")).width, kRecordingWidth);
}

}  // namespace
}  // namespace quorvel::tag
