// Paints the status tag's pill, bars, wave, check mark and labels.
#include "ui/TagWidget.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <algorithm>
#include <cmath>

#include "ui/Brand.h"
#include "ui/Palette.h"

namespace quorvel {

namespace {

constexpr double kBarWidth = 3;
constexpr double kBarStep = 5.5;  // 3 wide, 2.5 apart
constexpr int kWaveBars = 7;

double rowWidth(int bars) { return kBarWidth * bars + (kBarStep - kBarWidth) * (bars - 1); }

QString toQString(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

tag::MeasureText measureWith(const QFont& font) {
  return [metrics = QFontMetricsF(font)](std::u16string_view text) {
    return metrics.horizontalAdvance(toQString(text));
  };
}

void drawBar(QPainter& painter, double x, double mid, double height) {
  painter.drawRoundedRect(QRectF(x, mid - height / 2, kBarWidth, height), 1.5, 1.5);
}

// The label font and the word-count font.
QFont tagTextFont() { return Brand::sans(13, 500); }
QFont tagMonoFont() { return Brand::mono(11.5, true); }

}  // namespace

TagWidget::TagWidget(const tag::TagContent& content, QWidget* parent)
    : QWidget(parent), content_(content), textFont_(tagTextFont()), monoFont_(tagMonoFont()) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_NoSystemBackground);
  setAutoFillBackground(false);
  setFixedHeight(static_cast<int>(tag::kHeight));
}

double TagWidget::idealWidth() const {
  return tag::idealWidth(content_, {measureWith(textFont_), measureWith(monoFont_)});
}

tag::TagFonts TagWidget::measures() { return {measureWith(tagTextFont()), measureWith(tagMonoFont())}; }

void TagWidget::setShapedToPill(bool shaped) {
  shapedToPill_ = shaped;
  if (!shaped) {
    clearMask();
    return;
  }
  QPainterPath pill;
  pill.addRoundedRect(QRectF(0, 0, width(), height()), 8, 8);
  setMask(QRegion(pill.toFillPolygon().toPolygon()));
}

void TagWidget::resizeEvent(QResizeEvent*) {
  if (shapedToPill_) setShapedToPill(true);
}

const QString& TagWidget::fitted(const tag::LabelText& label, double room, const QFont& font) const {
  if (fitted_.room != room || fitted_.font != &font || fitted_.shortened != label.shortened ||
      fitted_.source != label.text) {
    fitted_.source = label.text;
    fitted_.shortened = label.shortened;
    fitted_.room = room;
    fitted_.font = &font;
    fitted_.text = toQString(tag::fitLabel(label, room, measureWith(font)));
  }
  return fitted_.text;
}

void TagWidget::drawLabel(QPainter& painter, const QString& text, const QFont& font, double x,
                           double mid) const {
  painter.setFont(font);
  // Centre the capitals on the middle line: that is where the eye sees the
  // middle of a line of text, whatever the font's ascent and descent.
  const double baseline = mid + QFontMetricsF(font).capHeight() / 2;
  painter.drawText(QPointF(x, baseline), text);
}

void TagWidget::paintTag(QPainter& painter, double width) const {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setLayoutDirection(Qt::LeftToRight);

  const QRectF pill = QRectF(0, 0, width, tag::kHeight).adjusted(0.5, 0.5, -0.5, -0.5);
  painter.setPen(QPen(Palette::tagEdge(), 1));
  painter.setBrush(Palette::panel());
  painter.drawRoundedRect(pill, 8, 8);

  const double left = pill.left() + 14;
  const double right = pill.right() - 14;
  const double mid = pill.center().y();
  const double inner = pill.height();

  painter.setPen(Qt::NoPen);
  painter.setBrush(Palette::accent());
  switch (content_.mode) {
    case TagMode::recording: {
      const double start = pill.center().x() - rowWidth(tag::kHistoryLength) / 2;
      for (int i = 0; i < tag::kHistoryLength; ++i) {
        const double level = std::clamp(content_.history[static_cast<std::size_t>(i)], 0.0, 1.0);
        drawBar(painter, start + i * kBarStep, mid, (inner - 12 - 3) * level + 3);
      }
      break;
    }
    case TagMode::transcribing:
    case TagMode::polishing: {
      const double t = static_cast<double>(content_.tick % 1'000'000);
      for (int i = 0; i < kWaveBars; ++i) {
        const double wave = std::sin(t * 0.2 - i * 0.7) * 0.5 + 0.5;
        drawBar(painter, left + i * kBarStep, mid, inner * 0.42 * wave + 3);
      }
      const double x = left + rowWidth(kWaveBars) + 12;
      const tag::ShownLabel shown = tag::shownLabel(content_);
      painter.setPen(shown.userText ? Palette::ink() : Palette::mute());
      drawLabel(painter, fitted(shown.text, right - x, textFont_), textFont_, x, mid);
      break;
    }
    case TagMode::done: {
      const QRectF square(pill.left() + 12, mid - 7, 14, 14);
      painter.drawRoundedRect(square, 3, 3);
      QPen check(Palette::onAccent(), 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
      painter.setPen(check);
      painter.setBrush(Qt::NoBrush);
      const QPointF points[] = {{square.left() + 3.6, square.center().y() - 0.2},
                                {square.left() + 6.1, square.bottom() - 4.1},
                                {square.right() - 3.4, square.top() + 4}};
      painter.drawPolyline(points, 3);

      const double typedX = square.right() + 9;
      painter.setPen(Palette::ink());
      drawLabel(painter, toQString(tag::kTyped), textFont_, typedX, mid);
      const double countX = typedX + std::ceil(QFontMetricsF(textFont_).horizontalAdvance(toQString(tag::kTyped))) + 10;
      painter.setPen(Palette::mute());
      drawLabel(painter, fitted(tag::shownLabel(content_).text, right - countX, monoFont_), monoFont_, countX, mid);
      break;
    }
    case TagMode::failed: {
      painter.setPen(Palette::ink());
      drawLabel(painter, fitted(tag::shownLabel(content_).text, right - left, textFont_), textFont_, left, mid);
      break;
    }
  }
  painter.restore();
}

void TagWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintTag(painter, width());
}

}  // namespace quorvel
