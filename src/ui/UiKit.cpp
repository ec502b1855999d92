// The shared view pieces, painted with the palette and the brand type.
#include "ui/UiKit.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QEventLoop>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "support/Files.h"
#include "support/UserDefaults.h"
#include "ui/Brand.h"
#include "ui/Palette.h"

namespace quorvel::ui {

QString qs(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string utf8(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QColor toneColor(Tone tone) {
  switch (tone) {
    case Tone::ink: return Palette::ink();
    case Tone::mute: return Palette::mute();
    case Tone::accent: return Palette::accent();
    case Tone::rec: return Palette::rec();
  }
  return Palette::ink();
}

QColor inkColor(Ink ink) {
  switch (ink) {
    case Ink::ink: return Palette::ink();
    case Ink::ink2: return Palette::ink2();
    case Ink::mute: return Palette::mute();
    case Ink::accent: return Palette::accent();
    case Ink::rec: return Palette::rec();
    case Ink::onAccent: return Palette::onAccent();
  }
  return Palette::ink();
}

void setInk(QLabel* target, QColor color) {
  QPalette palette = target->palette();
  palette.setColor(QPalette::WindowText, color);
  palette.setColor(QPalette::Text, color);
  target->setPalette(palette);
}

QLabel* label(const QString& text, double size, double weight, Ink ink, bool wrap, QWidget* parent) {
  auto* result = new QLabel(text, parent);
  result->setFont(Brand::sans(size, weight));
  result->setTextFormat(Qt::PlainText);
  result->setWordWrap(wrap);
  setInk(result, inkColor(ink));
  return result;
}

QLabel* monoLabel(const QString& text, double size, Ink ink, QWidget* parent) {
  auto* result = new QLabel(text, parent);
  result->setFont(Brand::mono(size, false));
  result->setTextFormat(Qt::PlainText);
  setInk(result, inkColor(ink));
  return result;
}

// --- FlatButton ----------------------------------------------------------------

FlatButton::FlatButton(const QString& text, Kind kind, QWidget* parent) : QAbstractButton(parent), kind_(kind) {
  setText(text);
  setCursor(Qt::PointingHandCursor);
  setFont(Brand::sans(kind == Kind::plain ? 13 : 13.5, 550));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void FlatButton::setHint(const QString& hint) {
  hint_ = hint;
  updateGeometry();
  update();
}

void FlatButton::setHeight(int height) {
  height_ = height;
  updateGeometry();
}

QSize FlatButton::sizeHint() const {
  const QFontMetrics metrics(font());
  int width = metrics.horizontalAdvance(text()) + (kind_ == Kind::plain ? 16 : 32);
  if (!hint_.isEmpty()) width += QFontMetrics(Brand::mono(11.5, false)).horizontalAdvance(hint_) + 12;
  return {std::max(width, height_), height_};
}

void FlatButton::enterEvent(QEnterEvent*) {
  hover_ = true;
  update();
}

void FlatButton::leaveEvent(QEvent*) {
  hover_ = false;
  update();
}

void FlatButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const double radius = std::min(9.0, box.height() / 2);
  QColor fill = Qt::transparent, edge = Qt::transparent, ink = Palette::ink();
  switch (kind_) {
    case Kind::filled:
      fill = Palette::accent();
      ink = Palette::onAccent();
      if (hover_) fill = fill.lighter(108);
      break;
    case Kind::solid:
      fill = Palette::ink();
      ink = Palette::onInk();
      if (hover_) fill.setAlphaF(0.88);
      break;
    case Kind::outline:
      fill = hover_ ? Palette::recessed() : Palette::panel();
      edge = Palette::rule();
      break;
    case Kind::plain:
      fill = hover_ ? Palette::recessed() : QColor(Qt::transparent);
      ink = Palette::ink2();
      break;
  }
  if (!isEnabled()) {
    if (kind_ == Kind::filled || kind_ == Kind::solid) {
      fill = Palette::rule();
      ink = Palette::mute();
    } else {
      ink = Palette::mute();
    }
  }
  if (isDown()) fill = fill.darker(108);
  painter.setPen(edge.alpha() > 0 ? QPen(edge, 1) : Qt::NoPen);
  painter.setBrush(fill);
  painter.drawRoundedRect(box, radius, radius);

  const QFontMetricsF metrics(font());
  const QFont hintFont = Brand::mono(11.5, false);
  const double hintWidth = hint_.isEmpty() ? 0 : QFontMetricsF(hintFont).horizontalAdvance(hint_) + 10;
  const double textWidth = metrics.horizontalAdvance(text());
  const double left = (width() - textWidth - hintWidth) / 2;
  painter.setPen(ink);
  painter.setFont(font());
  painter.drawText(QRectF(left, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, this->text());
  if (!hint_.isEmpty()) {
    QColor hintColor = ink;
    hintColor.setAlphaF(0.7);
    painter.setPen(hintColor);
    painter.setFont(hintFont);
    painter.drawText(QRectF(left + textWidth + 10, 0, hintWidth, height()), Qt::AlignVCenter | Qt::AlignLeft, hint_);
  }
}

// --- CopyButton ----------------------------------------------------------------

CopyButton::CopyButton(std::function<QString()> text, QWidget* parent)
    : FlatButton(QStringLiteral("Copy"), Kind::outline, parent), text_(std::move(text)) {
  setHeight(28);
  back_.setSingleShot(true);
  back_.setInterval(1200);
  connect(&back_, &QTimer::timeout, this, [this] {
    setText(QStringLiteral("Copy"));
    updateGeometry();
  });
  connect(this, &QAbstractButton::clicked, this, [this] {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text_ ? text_() : QString());
    setText(QStringLiteral("Copied"));
    updateGeometry();
    back_.start();
  });
  setMinimumWidth(FlatButton(QStringLiteral("Copied"), Kind::outline).sizeHint().width());
}

// --- IconButton ----------------------------------------------------------------

IconButton::IconButton(Glyph glyph, const QString& help, QWidget* parent) : QAbstractButton(parent), glyph_(glyph) {
  setToolTip(help);
  setAccessibleName(help);
  setCursor(Qt::PointingHandCursor);
  setFixedSize(28, 28);
}

void IconButton::enterEvent(QEnterEvent*) {
  hover_ = true;
  update();
}

void IconButton::leaveEvent(QEvent*) {
  hover_ = false;
  update();
}

void IconButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  if (hover_ || isDown()) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::recessed());
    painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
  }
  QColor color = hover_ ? Palette::ink() : Palette::mute();
  if (glyph_ == Glyph::remove && hover_) color = Palette::rec();
  painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  const QPointF c = QRectF(rect()).center();
  switch (glyph_) {
    case Glyph::close:
    case Glyph::remove: {
      const double r = glyph_ == Glyph::close ? 4.5 : 4;
      painter.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
      painter.drawLine(c + QPointF(-r, r), c + QPointF(r, -r));
      break;
    }
    case Glyph::pencil: {
      QPainterPath path;
      path.moveTo(c + QPointF(-5, 5));
      path.lineTo(c + QPointF(-4.2, 2.2));
      path.lineTo(c + QPointF(3, -5));
      path.lineTo(c + QPointF(5, -3));
      path.lineTo(c + QPointF(-2.2, 4.2));
      path.closeSubpath();
      painter.drawPath(path);
      break;
    }
    case Glyph::back:
      painter.drawLine(c + QPointF(2, -5), c + QPointF(-3, 0));
      painter.drawLine(c + QPointF(-3, 0), c + QPointF(2, 5));
      break;
  }
}

// --- KeyCap ----------------------------------------------------------------------

KeyCap::KeyCap(const QString& name, bool large, QWidget* parent) : QWidget(parent), name_(name), large_(large) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setAccessibleName(name);
}

void KeyCap::setPressed(bool pressed) {
  if (pressed_ == pressed) return;
  pressed_ = pressed;
  update();
}

QSize KeyCap::sizeHint() const { return large_ ? QSize(96, 68) : QSize(78, 48); }

void KeyCap::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double depth = large_ ? 5 : 3.5;
  const double travel = pressed_ ? depth - 1.5 : 0;
  const double radius = large_ ? 11 : 8;
  const QRectF outer = QRectF(rect()).adjusted(1, 1, -1, -1);
  // The key's side, seen below its face.
  painter.setPen(Qt::NoPen);
  painter.setBrush(pressed_ ? Palette::accent() : Palette::keyEdge());
  painter.drawRoundedRect(outer.adjusted(0, travel, 0, 0), radius, radius);
  const QRectF face = outer.adjusted(0, travel, 0, -(depth - travel) - 0.0).adjusted(0, 0, 0, 0);
  QRectF top = QRectF(outer.left(), outer.top() + travel, outer.width(), outer.height() - depth);
  painter.setBrush(pressed_ ? Palette::accentSoft() : Palette::panel());
  painter.setPen(QPen(pressed_ ? Palette::accent() : Palette::keyEdge(), 1.2));
  painter.drawRoundedRect(top.adjusted(0.6, 0.6, -0.6, -0.6), radius, radius);
  (void)face;

  const int space = name_.indexOf(' ');
  const QString small = space > 0 ? name_.left(space) : QString();
  const QString big = space > 0 ? name_.mid(space + 1) : name_;
  const double pad = large_ ? 12 : 9;
  const QColor ink = pressed_ ? Palette::accent() : Palette::ink();
  if (!small.isEmpty()) {
    painter.setFont(Brand::mono(large_ ? 11 : 9.5, false));
    QColor muted = pressed_ ? Palette::accent() : Palette::mute();
    painter.setPen(muted);
    painter.drawText(top.adjusted(pad, pad - 3, -pad, -pad), Qt::AlignLeft | Qt::AlignTop, small);
  }
  painter.setFont(Brand::sans(large_ ? 19 : 13.5, 600));
  painter.setPen(ink);
  painter.drawText(top.adjusted(pad, pad, -pad, -pad + (large_ ? 1 : 2)), Qt::AlignLeft | Qt::AlignBottom, big);
}

// --- Card ------------------------------------------------------------------------

Card::Card(Fill fill, QWidget* parent, int radius) : QFrame(parent), fill_(fill), radius_(radius) {
  setAttribute(Qt::WA_StyledBackground, false);
}

void Card::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  switch (fill_) {
    case Fill::panel:
      painter.setPen(QPen(Palette::rule(), 1));
      painter.setBrush(Palette::panel());
      break;
    case Fill::soft:
      painter.setPen(Qt::NoPen);
      painter.setBrush(Palette::accentSoft());
      break;
    case Fill::recessed:
      painter.setPen(Qt::NoPen);
      painter.setBrush(Palette::recessed());
      break;
  }
  painter.drawRoundedRect(box, radius_, radius_);
}

void paintPanel(QPainter& painter, const QRect& area, double radius) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Palette::rule(), 1));
  painter.setBrush(Palette::panel());
  painter.drawRoundedRect(QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

std::optional<QRect> savedFrame(std::string_view key, QSize minimum, QSize showing) {
  const auto value = UserDefaults::standard().value(key);
  if (!value || !value->is_array() || value->size() != 4) return std::nullopt;
  int numbers[4];
  for (size_t i = 0; i < 4; ++i) {
    if (!(*value)[i].is_number_integer()) return std::nullopt;
    numbers[i] = static_cast<int>(std::clamp<long long>((*value)[i].get<long long>(), -100000, 100000));
  }
  const QRect frame(numbers[0], numbers[1], std::max(numbers[2], minimum.width()),
                    std::max(numbers[3], minimum.height()));
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect visible = screen->availableGeometry().intersected(frame);
    if (visible.width() >= showing.width() && visible.height() >= showing.height()) return frame;
  }
  return std::nullopt;
}

void saveFrame(std::string_view key, const QRect& frame) {
  (void)UserDefaults::standard().set(key, Json::array({frame.x(), frame.y(), frame.width(), frame.height()}));
}

// --- Toggle ----------------------------------------------------------------------

Toggle::Toggle(QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setCursor(Qt::PointingHandCursor);
  setFixedSize(40, 24);
}

void Toggle::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF track = QRectF(rect()).adjusted(1, 2, -1, -2);
  painter.setPen(isChecked() ? Qt::NoPen : QPen(Palette::rule(), 1));
  painter.setBrush(isChecked() ? Palette::accent() : Palette::recessed());
  painter.drawRoundedRect(track, track.height() / 2, track.height() / 2);
  const double knob = track.height() - 4;
  const double x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
  painter.setPen(Qt::NoPen);
  painter.setBrush(isChecked() ? Palette::onAccent() : Palette::mute());
  painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

// --- ProgressLine ------------------------------------------------------------------

ProgressLine::ProgressLine(QWidget* parent) : QWidget(parent) {
  setFixedHeight(6);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ProgressLine::setFraction(double fraction) {
  fraction_ = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
  update();
}

void ProgressLine::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF track = QRectF(rect());
  painter.setPen(Qt::NoPen);
  painter.setBrush(Palette::rule());
  painter.drawRoundedRect(track, 3, 3);
  if (fraction_ <= 0) return;
  painter.setBrush(Palette::accent());
  painter.drawRoundedRect(QRectF(track.left(), track.top(), std::max(6.0, track.width() * fraction_), track.height()),
                          3, 3);
}

// --- Dot ---------------------------------------------------------------------------

Dot::Dot(QColor color, int size, QWidget* parent) : QWidget(parent), color_(color) { setFixedSize(size, size); }

void Dot::setColor(QColor color) {
  color_ = color;
  update();
}

void Dot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color_);
  painter.drawEllipse(QRectF(rect()));
}

// --- WordMark ----------------------------------------------------------------------

void paintMark(QPainter& painter, const QRectF& square, QColor color) {
  const double unit = square.width() / 18.0;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(color, 1.5 * unit));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(square.left() + 2.65 * unit, square.top() + 2.65 * unit, 12.7 * unit, 12.7 * unit),
                          3.4 * unit, 3.4 * unit);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawRoundedRect(QRectF(square.left() + 8.2 * unit, square.top() + 5.5 * unit, 1.6 * unit, 7.0 * unit),
                          0.6 * unit, 0.6 * unit);
  painter.restore();
}

WordMark::WordMark(double size, QWidget* parent) : QWidget(parent), size_(size) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setAccessibleName(QStringLiteral("Quorvel"));
}

QSize WordMark::sizeHint() const {
  const QFontMetrics metrics(Brand::sans(size_, 650));
  const int mark = static_cast<int>(std::round(size_ * 1.45));
  return {mark + 6 + metrics.horizontalAdvance(QStringLiteral("Quorvel")) + 2, std::max(mark, metrics.height())};
}

void WordMark::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double mark = std::round(size_ * 1.45);
  paintMark(painter, QRectF(0, (height() - mark) / 2, mark, mark), Palette::accent());
  painter.setFont(Brand::sans(size_, 650));
  painter.setPen(Palette::ink());
  painter.drawText(QRectF(mark + 6, 0, width() - mark - 6, height()), Qt::AlignVCenter | Qt::AlignLeft,
                   QStringLiteral("Quorvel"));
}

QWidget* hairline(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFixedHeight(1);
  line->setAutoFillBackground(true);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, Palette::rule());
  line->setPalette(palette);
  return line;
}

QString fieldStyleSheet() {
  auto hex = [](const QColor& color) { return color.name(QColor::HexRgb); };
  QColor selection = Palette::accent();
  selection.setAlphaF(0.28);
  const QString selectionRgba = QStringLiteral("rgba(%1,%2,%3,%4)")
                                    .arg(selection.red())
                                    .arg(selection.green())
                                    .arg(selection.blue())
                                    .arg(selection.alphaF(), 0, 'f', 2);
  return QStringLiteral(
             "QLineEdit { background: %1; color: %2; border: 1px solid %3; border-radius: 9px; padding: 7px 11px; "
             "selection-background-color: %4; selection-color: %2; }"
             "QLineEdit:focus { border: 1px solid %5; }"
             "QPlainTextEdit, QTextEdit { background: transparent; color: %2; border: none; "
             "selection-background-color: %4; selection-color: %2; }"
             "QScrollArea { background: transparent; border: none; }"
             "QScrollBar:vertical { background: transparent; width: 10px; margin: 2px; }"
             "QScrollBar::handle:vertical { background: %3; border-radius: 3px; min-height: 32px; }"
             "QScrollBar::handle:vertical:hover { background: %6; }"
             "QScrollBar::add-line, QScrollBar::sub-line { height: 0; width: 0; }"
             "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }"
             "QScrollBar:horizontal { height: 0; }"
             "QToolTip { background: %7; color: %8; border: none; padding: 4px 8px; }")
      .arg(hex(Palette::panel()), hex(Palette::ink()), hex(Palette::rule()), selectionRgba, hex(Palette::accent()),
           hex(Palette::mute()), hex(Palette::ink()), hex(Palette::onInk()));
}

bool writeSnapshot(QWidget& widget, const std::string& path) {
  constexpr double scale = 2.0;
  const QSize size = widget.size();
  if (size.isEmpty()) return false;
  QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return false;
  image.setDevicePixelRatio(scale);
  image.fill(Qt::transparent);
  widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren | QWidget::DrawWindowBackground);
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return false;
  return static_cast<bool>(writeFileAtomically(path, std::string_view(png.constData(), static_cast<size_t>(png.size()))));
}

void runEventsFor(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace quorvel::ui
