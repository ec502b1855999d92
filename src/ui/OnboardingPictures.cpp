// The onboarding's animated and drawn pictures.
#include "ui/OnboardingPictures.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/Brand.h"
#include "ui/Palette.h"
#include "ui/UiKit.h"

namespace quorvel::ui {
namespace {

constexpr double kFrameMs = 16;

// The splash's timeline in milliseconds.
constexpr double kFirstBlink = 350;
constexpr double kBlinkPhase = 260;
constexpr double kLetterMs = 115;
constexpr double kPauseAfterName = 300;
constexpr double kFadeMs = 400;
constexpr double kDoneAfterFade = 360;
constexpr int kNameLetters = 7;  // "Quorvel"

// Two blinks (off, on, off, on) starting at `start`: whether the cursor shows.
bool cursorDuringBlinks(double ms, double start) {
  const int phase = static_cast<int>((ms - start) / kBlinkPhase);
  return phase % 2 == 1;
}

// The card's timeline.
constexpr double kWordMs = 55;
constexpr double kStrikeDelay = 250;
constexpr double kStrikeMs = 150;
constexpr double kTypeMs = 16;
constexpr int kTypeStep = 3;
constexpr double kHoldMs = 2200;
constexpr double kGapMs = 200;

int droppedCount() {
  return static_cast<int>(std::count_if(kDemoSaid.begin(), kDemoSaid.end(), [](const DemoWord& w) { return w.dropped; }));
}

double cardLength() {
  const double allWords = kWordMs * (kDemoSaid.size() - 1);
  const double struck = allWords + kStrikeDelay + kStrikeMs * droppedCount();
  const double typed = struck + kTypeMs * std::ceil(static_cast<double>(kDemoTyped.size()) / kTypeStep);
  return typed + kHoldMs + kGapMs;
}

}  // namespace

// --- IntroSplash -------------------------------------------------------------------

IntroSplash::Frame IntroSplash::frameAt(double ms) {
  Frame frame;
  const double blinksEnd = kFirstBlink + 4 * kBlinkPhase;
  const double nameEnd = blinksEnd + kLetterMs * kNameLetters;
  const double secondBlinks = nameEnd + kPauseAfterName;
  const double leaving = secondBlinks + 4 * kBlinkPhase;
  if (ms < kFirstBlink) return frame;
  if (ms < blinksEnd) {
    frame.cursor = cursorDuringBlinks(ms, kFirstBlink);
    return frame;
  }
  frame.letters = std::min(kNameLetters, static_cast<int>((ms - blinksEnd) / kLetterMs));
  if (ms < secondBlinks) return frame;
  frame.letters = kNameLetters;
  if (ms < leaving) {
    frame.cursor = cursorDuringBlinks(ms, secondBlinks);
    return frame;
  }
  frame.cursor = true;
  // Ease in: slow at first, then quicker.
  const double t = std::clamp((ms - leaving) / kFadeMs, 0.0, 1.0);
  frame.opacity = 1 - t * t;
  frame.finished = ms >= leaving + kDoneAfterFade;
  return frame;
}

IntroSplash::IntroSplash(std::function<void()> done, QWidget* parent) : QWidget(parent), done_(std::move(done)) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  clock_.start();
  frames_.setInterval(static_cast<int>(kFrameMs));
  QObject::connect(&frames_, &QTimer::timeout, this, [this] {
    update();
    if (frameAt(static_cast<double>(clock_.elapsed())).finished) {
      frames_.stop();
      if (done_) done_();
    }
  });
  frames_.start();
  setAccessibleName(QStringLiteral("Quorvel"));
}

void IntroSplash::paintEvent(QPaintEvent*) {
  const Frame frame = frameAt(static_cast<double>(clock_.elapsed()));
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(frame.opacity);
  painter.fillRect(rect(), Palette::canvas());
  const QFont font = Brand::sans(46, 650);
  const QFontMetricsF metrics(font);
  const QString name = QStringLiteral("Quorvel");
  const double fullWidth = metrics.horizontalAdvance(name);
  const QString shown = name.left(frame.letters);
  const double x = (width() - fullWidth) / 2;
  const double baseline = height() / 2 + metrics.capHeight() / 2;
  painter.setFont(font);
  painter.setPen(Palette::ink());
  painter.drawText(QPointF(x, baseline), shown);
  if (frame.cursor) {
    const double cursorX = x + metrics.horizontalAdvance(shown) + 3;
    painter.fillRect(QRectF(cursorX, baseline - metrics.ascent() * 0.92, 3.5, metrics.ascent() * 1.12),
                     Palette::accent());
  }
}

// --- DemoCard ------------------------------------------------------------------------

DemoCard::Frame DemoCard::frameAt(double ms) {
  Frame frame;
  const double t = std::fmod(std::max(0.0, ms), cardLength());
  const int words = static_cast<int>(kDemoSaid.size());
  frame.words = std::min(words, static_cast<int>(t / kWordMs) + 1);
  const double strikeStart = kWordMs * (words - 1) + kStrikeDelay;
  if (t >= strikeStart) frame.struck = std::min(droppedCount(), static_cast<int>((t - strikeStart) / kStrikeMs) + 1);
  const double typeStart = strikeStart + kStrikeMs * droppedCount();
  if (t >= typeStart) {
    frame.typed = std::min(static_cast<int>(kDemoTyped.size()),
                           kTypeStep * (static_cast<int>((t - typeStart) / kTypeMs) + 1));
  }
  const double clearAt = typeStart + kTypeMs * std::ceil(static_cast<double>(kDemoTyped.size()) / kTypeStep) + kHoldMs;
  if (t >= clearAt) frame = Frame{};
  return frame;
}

DemoCard::DemoCard(QWidget* parent) : QWidget(parent) {
  setMinimumSize(sizeHint());
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  QString said;
  for (const DemoWord& word : kDemoSaid) said += QString::fromUtf8(word.word.data(), static_cast<qsizetype>(word.word.size())) + ' ';
  setAccessibleName(QStringLiteral("You said: um, so can you send me the file by Friday, no actually Thursday. "
                                   "Quorvel typed: ") +
                    QString::fromUtf8(kDemoTyped.data(), static_cast<qsizetype>(kDemoTyped.size())));
  clock_.start();
  frames_.setInterval(static_cast<int>(kFrameMs));
  QObject::connect(&frames_, &QTimer::timeout, this, [this] { update(); });
  frames_.start();
}

void DemoCard::freeze() {
  frozen_ = true;
  frames_.stop();
  update();
}

void DemoCard::paintEvent(QPaintEvent*) {
  Frame frame = frameAt(static_cast<double>(clock_.elapsed()));
  if (frozen_) frame = {static_cast<int>(kDemoSaid.size()), droppedCount(), static_cast<int>(kDemoTyped.size())};
  QPainter painter(this);
  paintPanel(painter, rect(), 14);

  const double pad = 22;
  const QFont caption = Brand::mono(11, false);
  const QFont words = Brand::sans(15.5, 450);
  const QFontMetricsF metrics(words);
  painter.setFont(caption);
  painter.setPen(Palette::mute());
  painter.drawText(QPointF(pad, pad + 10), QStringLiteral("You said"));

  // The said words, wrapping, struck when dropped.
  double x = pad;
  double y = pad + 38;
  const double right = width() - pad;
  int struckSoFar = 0;
  painter.setFont(words);
  for (int i = 0; i < frame.words; ++i) {
    const DemoWord& word = kDemoSaid[static_cast<size_t>(i)];
    const QString text = QString::fromUtf8(word.word.data(), static_cast<qsizetype>(word.word.size()));
    const double advance = metrics.horizontalAdvance(text);
    if (x + advance > right) {
      x = pad;
      y += metrics.lineSpacing() + 2;
    }
    const bool struck = word.dropped && struckSoFar < frame.struck;
    if (word.dropped) ++struckSoFar;
    painter.setPen(struck ? Palette::mute() : Palette::ink2());
    painter.drawText(QPointF(x, y), text);
    if (struck) {
      painter.setPen(QPen(Palette::accent(), 1.6));
      const double mid = y - metrics.xHeight() / 2;
      painter.drawLine(QPointF(x - 1, mid), QPointF(x + advance + 1, mid));
    }
    x += advance + metrics.horizontalAdvance(QLatin1Char(' '));
  }

  const double divider = y + 20;
  painter.setPen(QPen(Palette::rule(), 1));
  painter.drawLine(QPointF(pad, divider), QPointF(right, divider));
  painter.setFont(caption);
  painter.setPen(Palette::mute());
  painter.drawText(QPointF(pad, divider + 26), QStringLiteral("Quorvel typed"));
  const QString typed = QString::fromUtf8(kDemoTyped.data(), static_cast<qsizetype>(frame.typed));
  painter.setFont(Brand::sans(16, 550));
  painter.setPen(Palette::ink());
  const QPointF at(pad, divider + 54);
  painter.drawText(at, typed);
  if (frame.typed > 0 && frame.typed < static_cast<int>(kDemoTyped.size())) {
    const double caret = at.x() + QFontMetricsF(Brand::sans(16, 550)).horizontalAdvance(typed) + 2;
    painter.fillRect(QRectF(caret, at.y() - 15, 2, 19), Palette::accent());
  }
}

// --- StepIcon --------------------------------------------------------------------------

StepIcon::StepIcon(OnboardingStep step, QWidget* parent) : QWidget(parent), step_(step) { setFixedSize(56, 56); }

void StepIcon::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Palette::accentSoft());
  painter.drawRoundedRect(QRectF(rect()), 16, 16);
  const QColor accent = Palette::accent();
  painter.setPen(QPen(accent, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  const QPointF c = QRectF(rect()).center();
  switch (step_) {
    case OnboardingStep::welcome:
      paintMark(painter, QRectF(c.x() - 16, c.y() - 16, 32, 32), accent);
      break;
    case OnboardingStep::microphone:
      painter.drawRoundedRect(QRectF(c.x() - 5.5, c.y() - 14, 11, 18), 5.5, 5.5);
      painter.drawArc(QRectF(c.x() - 10, c.y() - 8, 20, 18), 200 * 16, 140 * 16);
      painter.drawLine(c + QPointF(0, 10), c + QPointF(0, 14));
      painter.drawLine(c + QPointF(-5, 14), c + QPointF(5, 14));
      break;
    case OnboardingStep::accessibility: {
      // A key seen from above, pressed by a finger's dot.
      painter.drawRoundedRect(QRectF(c.x() - 14, c.y() - 11, 28, 22), 5, 5);
      painter.drawLine(c + QPointF(-7, 4), c + QPointF(7, 4));
      painter.setBrush(accent);
      painter.setPen(Qt::NoPen);
      painter.drawEllipse(c + QPointF(0, -3), 3, 3);
      break;
    }
    case OnboardingStep::ready:
      painter.drawLine(c + QPointF(0, -13), c + QPointF(0, 6));
      painter.drawPolyline(QPolygonF({c + QPointF(-7, -1), c + QPointF(0, 6), c + QPointF(7, -1)}));
      painter.drawLine(c + QPointF(-12, 13), c + QPointF(12, 13));
      break;
    case OnboardingStep::tryIt:
      painter.drawLine(c + QPointF(0, -12), c + QPointF(0, 12));
      painter.drawLine(c + QPointF(-5, -13), c + QPointF(5, -13));
      painter.drawLine(c + QPointF(-5, 13), c + QPointF(5, 13));
      break;
  }
}

// --- SwitchPicture ----------------------------------------------------------------------

SwitchPicture::SwitchPicture(bool wayland, bool withRule, QWidget* parent, bool portal)
    : QWidget(parent), wayland_(wayland), withRule_(wayland && withRule), portal_(portal && !wayland) {
  setMinimumSize(sizeHint());
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void SwitchPicture::setOn(bool on) {
  on_ = on;
  update();
}

void SwitchPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  if (wayland_) {
    // A terminal with the command.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x17, 0x17, 0x16));
    painter.drawRoundedRect(box, 12, 12);
    for (int i = 0; i < 3; ++i) {
      painter.setBrush(QColor(0x3C, 0x3C, 0x38));
      painter.drawEllipse(QPointF(18 + i * 14, 16), 4, 4);
    }
    painter.setFont(Brand::mono(13.5, true));
    painter.setPen(QColor(0x7F, 0x8B, 0xFF));
    painter.drawText(QPointF(20, 56), QStringLiteral("$"));
    painter.setPen(QColor(0xED, 0xED, 0xE8));
    const std::string command = inputAccessCommand({}, {});  // the group's part
    painter.drawText(QPointF(38, 56), QString::fromStdString(command));
    painter.setFont(Brand::mono(11, false));
    painter.setPen(QColor(0x8C, 0x8C, 0x85));
    if (withRule_) painter.drawText(QPointF(20, 78), QStringLiteral("with the virtual keyboard's udev rule first"));
    painter.drawText(QPointF(20, withRule_ ? 96 : 78), QStringLiteral("then log out and back in"));
    return;
  }
  // The desktop's settings: a breadcrumb and the switch row.
  paintPanel(painter, rect(), 12);
  painter.setPen(QPen(Palette::rule(), 1));
  painter.drawLine(QPointF(1, 38), QPointF(width() - 1, 38));
  painter.setFont(Brand::sans(12.5, 500));
  painter.setPen(Palette::mute());
  painter.drawText(QRectF(18, 0, width() - 36, 38), Qt::AlignVCenter | Qt::AlignLeft,
                   portal_ ? QStringLiteral("Your desktop  ›  Remote control")
                           : QStringLiteral("Settings  ›  Accessibility"));
  const QRectF row(18, 38, width() - 36, height() - 38);
  // The app's mark and name.
  paintMark(painter, QRectF(row.left(), row.center().y() - 13, 26, 26), Palette::accent());
  painter.setFont(Brand::sans(14.5, 600));
  painter.setPen(Palette::ink());
  painter.drawText(QRectF(row.left() + 36, row.top(), 300, row.height() / 2 + 6), Qt::AlignBottom | Qt::AlignLeft,
                   portal_ ? QStringLiteral("Quorvel") : QStringLiteral("Assistive technologies"));
  painter.setFont(Brand::sans(12, 400));
  painter.setPen(Palette::mute());
  painter.drawText(QRectF(row.left() + 36, row.center().y() + 4, 300, row.height() / 2), Qt::AlignTop | Qt::AlignLeft,
                   portal_ ? QStringLiteral("May type into other windows")
                           : QStringLiteral("Lets Quorvel hear keys and read text"));
  // The switch.
  const QRectF track(row.right() - 44, row.center().y() - 12, 44, 24);
  painter.setPen(on_ ? Qt::NoPen : QPen(Palette::rule(), 1));
  painter.setBrush(on_ ? Palette::accent() : Palette::recessed());
  painter.drawRoundedRect(track, 12, 12);
  painter.setPen(Qt::NoPen);
  painter.setBrush(on_ ? Palette::onAccent() : Palette::mute());
  painter.drawEllipse(QRectF(on_ ? track.right() - 22 : track.left() + 2, track.top() + 2, 20, 20));
}

// --- MicPicture ---------------------------------------------------------------------------

MicPicture::MicPicture(QWidget* parent) : QWidget(parent) {
  setMinimumSize(sizeHint());
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  clock_.start();
  frames_.setInterval(50);
  QObject::connect(&frames_, &QTimer::timeout, this, [this] { update(); });
  frames_.start();
}

void MicPicture::freeze() {
  frozen_ = true;
  frames_.stop();
  update();
}

void MicPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintPanel(painter, rect(), 12);
  // The microphone's glyph in a soft circle.
  const QPointF c(20 + 18, height() / 2.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Palette::accentSoft());
  painter.drawEllipse(c, 18, 18);
  painter.setPen(QPen(Palette::accent(), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(c.x() - 3.5, c.y() - 9, 7, 12), 3.5, 3.5);
  painter.drawArc(QRectF(c.x() - 6.5, c.y() - 5, 13, 12), 200 * 16, 140 * 16);
  painter.drawLine(c + QPointF(0, 7), c + QPointF(0, 10));
  painter.setFont(Brand::sans(14.5, 600));
  painter.setPen(Palette::ink());
  painter.drawText(QRectF(70, 0, 240, height() / 2.0 + 1), Qt::AlignBottom | Qt::AlignLeft,
                   QStringLiteral("Default microphone"));
  painter.setFont(Brand::sans(12, 400));
  painter.setPen(Palette::mute());
  painter.drawText(QRectF(70, height() / 2.0 + 3, 260, height() / 2.0), Qt::AlignTop | Qt::AlignLeft,
                   QStringLiteral("Chosen in your sound settings"));
  // A level meter: bars that follow a voice while the step shows.
  const double t = frozen_ ? 1.7 : clock_.elapsed() / 1000.0;
  const int bars = 9;
  const double barWidth = 3;
  const double step = 6;
  const double right = width() - 22;
  painter.setPen(Qt::NoPen);
  painter.setBrush(Palette::accent());
  for (int i = 0; i < bars; ++i) {
    const double level = 0.25 + 0.75 * std::fabs(std::sin(t * 3.1 + i * 0.8) * std::sin(t * 1.3 + i * 0.35));
    const double barHeight = 6 + 22 * level;
    const double x = right - (bars - i) * step;
    painter.drawRoundedRect(QRectF(x, height() / 2.0 - barHeight / 2, barWidth, barHeight), 1.5, 1.5);
  }
}

// --- StepDots ----------------------------------------------------------------------------

StepDots::StepDots(QWidget* parent) : QWidget(parent) { setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed); }

void StepDots::setSteps(int count, int current) {
  count_ = count;
  current_ = current;
  setFixedSize(sizeHint());
  update();
}

void StepDots::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  double x = 0;
  for (int i = 0; i < count_; ++i) {
    const bool current = i == current_;
    const double width = current ? 22 : 7;
    painter.setBrush(current ? Palette::accent() : (i < current_ ? Palette::ink2() : Palette::rule()));
    painter.drawRoundedRect(QRectF(x, 2.5, width, 7), 3.5, 3.5);
    x += width + 7;
  }
}

}  // namespace quorvel::ui
