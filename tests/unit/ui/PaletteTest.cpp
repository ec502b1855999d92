// The palette's values by appearance and how the appearance is decided.
#include "ui/Palette.h"

#include <gtest/gtest.h>

#include <limits>

namespace quorvel {
namespace {

TEST(PaletteTest, ResolvesEachColourToItsValueForTheAppearance) {
  struct Case {
    DynamicColor color;
    QColor dark;
    QColor light;
  };
  const Case cases[] = {
      {Palette::canvasColor, QColor(0x0C, 0x0C, 0x0B), QColor(0xE9, 0xE9, 0xE5)},
      {Palette::accentColor, QColor(0x7F, 0x8B, 0xFF), QColor(0x2B, 0x3B, 0xFF)},
      {Palette::onAccentColor, QColor(0x0B, 0x0B, 0x12), QColor(0xFF, 0xFF, 0xFF)},
      {Palette::tagEdgeColor, QColor(0x3C, 0x3C, 0x38), QColor(0x0F, 0x0F, 0x0E)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.color.resolve(Appearance::dark), c.dark);
    EXPECT_EQ(c.color.resolve(Appearance::light), c.light);
    EXPECT_EQ(c.color.resolve(Appearance::light).alpha(), 255);
  }
}

TEST(PaletteTest, KeyEdgeIsTheTagEdgeInBothAppearances) {
  for (Appearance appearance : {Appearance::light, Appearance::dark}) {
    EXPECT_EQ(Palette::keyEdgeColor.resolve(appearance), Palette::tagEdgeColor.resolve(appearance));
  }
}

TEST(PaletteTest, AccessorsFollowTheAppearanceInEffect) {
  setAppearance(Appearance::dark);
  EXPECT_EQ(Palette::panel(), QColor(0x17, 0x17, 0x16));
  setAppearance(Appearance::light);
  EXPECT_EQ(Palette::panel(), QColor(0xFA, 0xFA, 0xF8));
}

TEST(PaletteTest, AppearanceFromTheColourSchemeElseTheWindowLightnessElseLight) {
  struct Case {
    std::optional<std::uint32_t> scheme;
    std::optional<double> lightness;
    Appearance expected;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {1u, 0.9, Appearance::dark},            // the desktop prefers dark over a light palette
      {2u, 0.1, Appearance::light},           // and light over a dark one
      {0u, 0.1, Appearance::dark},            // no preference: the palette decides
      {0u, 0.9, Appearance::light},
      {std::nullopt, 0.2, Appearance::dark},  // no portal
      {std::nullopt, std::nullopt, Appearance::light},
      {7u, std::nullopt, Appearance::light},  // a value nobody defined counts as light
      {std::nullopt, nan, Appearance::light},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(resolveAppearance(c.scheme, c.lightness), c.expected)
        << (c.scheme ? static_cast<int>(*c.scheme) : -1) << " " << c.lightness.value_or(-1);
  }
}

}  // namespace
}  // namespace quorvel
