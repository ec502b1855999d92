// The shipped typefaces and the system fonts that stand in for them.
#include "ui/Brand.h"

#include <gtest/gtest.h>

#include <QFontInfo>

#include "OffscreenApp.h"
#include "engine/Config.h"
#include "TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

fs::path shippedFonts() { return Config::resources() / "fonts"; }

TEST(BrandTest, RegistersTheShippedFacesForTheProcess) {
  testing::offscreenApp();
  const BrandFaces faces = Brand::registerFonts(shippedFonts());
  EXPECT_EQ(faces.sans, "Inter");
  EXPECT_EQ(faces.monoRegular, "IBM Plex Mono");
  EXPECT_EQ(faces.monoMedium, "IBM Plex Mono");
  EXPECT_EQ(Brand::faces().sans, "Inter");

  EXPECT_EQ(QFontInfo(Brand::sans(13, 500)).family(), "Inter");
  EXPECT_EQ(QFontInfo(Brand::sans(13, 500)).weight(), 500);
  EXPECT_EQ(QFontInfo(Brand::sans(13, 700)).weight(), 700);
  const QFontInfo medium(Brand::mono(11.5, true));
  EXPECT_EQ(medium.family(), "IBM Plex Mono");
  EXPECT_EQ(medium.weight(), 500);
  EXPECT_TRUE(medium.fixedPitch());
  EXPECT_EQ(QFontInfo(Brand::mono(11.5, false)).weight(), 400);
}

TEST(BrandTest, MissingFilesLeaveTheSystemFontsInStepsOfWeight) {
  testing::offscreenApp();
  testing::TempDir empty;
  const BrandFaces faces = Brand::registerFonts(empty.path());
  EXPECT_TRUE(faces.sans.isEmpty());
  EXPECT_TRUE(faces.monoMedium.isEmpty());

  struct Case {
    double weight;
    int expected;
  };
  const Case cases[] = {{599, QFont::Medium}, {600, QFont::DemiBold}, {499, QFont::Normal},
                        {500, QFont::Medium}, {900, QFont::DemiBold}, {100, QFont::Normal}};
  for (const Case& c : cases) {
    const QFont font = Brand::sans(faces, 13, c.weight);
    EXPECT_EQ(font.weight(), c.expected) << c.weight;
    EXPECT_NE(font.family(), "Inter");
  }
  EXPECT_EQ(Brand::mono(faces, 11.5, true).weight(), QFont::Medium);
  EXPECT_EQ(Brand::mono(faces, 11.5, false).weight(), QFont::Normal);
  EXPECT_TRUE(QFontInfo(Brand::mono(faces, 11.5, true)).fixedPitch());
  Brand::registerFonts(shippedFonts());
}

TEST(BrandTest, SizesAreDeviceIndependentPixelsAndOddValuesStaySane) {
  testing::offscreenApp();
  const BrandFaces faces = Brand::registerFonts(shippedFonts());
  EXPECT_DOUBLE_EQ(Brand::sans(faces, 16, 400).pointSizeF(), 12.0);
  EXPECT_DOUBLE_EQ(Brand::mono(faces, 11.5, true).pointSizeF(), 11.5 * 0.75);
  for (double odd : {std::nan(""), -4.0, 0.0, 1e9}) {
    const QFont font = Brand::sans(faces, odd, odd);
    EXPECT_GT(font.pointSizeF(), 0) << odd;
    EXPECT_GE(font.weight(), 1) << odd;
    EXPECT_LE(font.weight(), 1000) << odd;
  }
}

}  // namespace
}  // namespace quorvel
