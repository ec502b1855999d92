// The tray mark on light and dark panels: the panel's lightness read from
// what lies behind the icon, and a mark that stands out on each.
#include <gtest/gtest.h>

#include <cstdlib>
#include <QPainter>

#include "ui/QtTray.h"

namespace quorvel {
namespace {

// The average lightness of the mark's opaque pixels, drawn over a panel.
int markLightness(const QImage& mark) {
  long long sum = 0;
  long long count = 0;
  for (int y = 0; y < mark.height(); ++y) {
    for (int x = 0; x < mark.width(); ++x) {
      const QRgb pixel = mark.pixel(x, y);
      if (qAlpha(pixel) < 200) continue;
      sum += qGray(pixel);
      ++count;
    }
  }
  return count == 0 ? -1 : static_cast<int>(sum / count);
}

// What a grab of the icon's place shows: the panel with the mark on it.
QImage panelWithMark(QColor panel, QtTray::Panel ink) {
  QImage picture(24, 24, QImage::Format_RGB32);
  picture.fill(panel);
  QPainter painter(&picture);
  painter.drawImage(0, 0, QtTray::drawIcon(TrayLook{}, 24, ink));
  return picture;
}

TEST(TrayMark, ThePanelsLightnessIsReadPastTheMarkOnIt) {
  struct Case {
    const char* name;
    QColor panel;
    QtTray::Panel expected;
  };
  const Case cases[] = {
      {"GNOME's dark bar", QColor(0x1d, 0x1d, 0x1d), QtTray::Panel::dark},
      {"a light Xfce panel", QColor(0xf6, 0xf5, 0xf4), QtTray::Panel::light},
      {"KDE Breeze light", QColor(0xef, 0xf0, 0xf1), QtTray::Panel::light},
      {"a mid-grey panel", QColor(0x80, 0x80, 0x80), QtTray::Panel::dark},
      {"a light blue panel", QColor(0xc8, 0xdc, 0xf0), QtTray::Panel::light},
  };
  for (const Case& c : cases) {
    for (const QtTray::Panel ink : {QtTray::Panel::dark, QtTray::Panel::light}) {
      EXPECT_EQ(QtTray::panelBehind(panelWithMark(c.panel, ink)), c.expected) << c.name;
    }
  }
  EXPECT_EQ(QtTray::panelBehind(QImage()), QtTray::Panel::dark);
}

TEST(TrayMark, EachPanelGetsAMarkThatStandsOut) {
  for (const QtTray::Panel panel : {QtTray::Panel::dark, QtTray::Panel::light}) {
    for (int size : {16, 22, 48}) {
      const QImage mark = QtTray::drawIcon(TrayLook{}, size, panel);
      const int lightness = markLightness(mark);
      ASSERT_GE(lightness, 0) << "the mark drew nothing at " << size;
      const int background = panel == QtTray::Panel::light ? 0xf0 : 0x1d;
      EXPECT_GT(std::abs(lightness - background), 120) << "size " << size;
    }
  }
}

}  // namespace
}  // namespace quorvel
