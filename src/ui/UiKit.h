// The small view pieces the note, the dashboard and onboarding are built from:
// labels in the brand type, flat buttons, a copy button, key caps, panels,
// switches, a progress line, the word mark, the style sheet of editable
// fields, and the windows' remembered places. Every piece paints with the palette at paint time, so a repaint
// after an appearance change shows the new colours.
//
// Threading: main thread only.
#pragma once

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/windows/DashboardTexts.h"

namespace quorvel::ui {

QString qs(const std::string& text);
std::string utf8(const QString& text);

QColor toneColor(Tone tone);

// A label in the sans face; `wrap` lets it break into lines.
enum class Ink { ink, ink2, mute, accent, rec, onAccent };
QColor inkColor(Ink ink);
QLabel* label(const QString& text, double size, double weight = 400, Ink ink = Ink::ink, bool wrap = false,
              QWidget* parent = nullptr);
QLabel* monoLabel(const QString& text, double size, Ink ink = Ink::mute, QWidget* parent = nullptr);
void setInk(QLabel* label, QColor color);

// A flat button: filled (accent), solid (ink), outline, or plain text.
class FlatButton : public QAbstractButton {
  Q_OBJECT
 public:
  enum class Kind { filled, solid, outline, plain };
  FlatButton(const QString& text, Kind kind, QWidget* parent = nullptr);
  // A key hint drawn after the title in the mono face ("Ctrl ↩").
  void setHint(const QString& hint);
  void setHeight(int height);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  Kind kind_;
  QString hint_;
  int height_ = 32;
  bool hover_ = false;
};

// "Copy", then "Copied" for 1.2 s after a click; puts the text on the clipboard.
class CopyButton : public FlatButton {
  Q_OBJECT
 public:
  explicit CopyButton(std::function<QString()> text, QWidget* parent = nullptr);

 private:
  std::function<QString()> text_;
  QTimer back_;
};

// A small round icon button drawing a glyph: close, pencil, remove, back.
class IconButton : public QAbstractButton {
  Q_OBJECT
 public:
  enum class Glyph { close, pencil, remove, back };
  IconButton(Glyph glyph, const QString& help, QWidget* parent = nullptr);
  QSize sizeHint() const override { return {28, 28}; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  Glyph glyph_;
  bool hover_ = false;
};

// A keyboard key with its name ("right Alt"), drawn pressed on demand.
class KeyCap : public QWidget {
  Q_OBJECT
 public:
  KeyCap(const QString& name, bool large, QWidget* parent = nullptr);
  void setPressed(bool pressed);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QString name_;
  bool large_;
  bool pressed_ = false;
};

// A rounded panel in the panel colour with a hairline edge; `soft` uses the
// accent's soft tint, `recessed` the recessed colour without an edge.
class Card : public QFrame {
  Q_OBJECT
 public:
  enum class Fill { panel, soft, recessed };
  explicit Card(Fill fill = Fill::panel, QWidget* parent = nullptr, int radius = 12);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  Fill fill_;
  int radius_;
};

// An on/off switch.
class Toggle : public QAbstractButton {
  Q_OBJECT
 public:
  explicit Toggle(QWidget* parent = nullptr);
  QSize sizeHint() const override { return {40, 24}; }

 protected:
  void paintEvent(QPaintEvent*) override;
};

// A thin progress bar.
class ProgressLine : public QWidget {
  Q_OBJECT
 public:
  explicit ProgressLine(QWidget* parent = nullptr);
  void setFraction(double fraction);
  QSize sizeHint() const override { return {200, 6}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  double fraction_ = 0;
};

// A small filled circle.
class Dot : public QWidget {
  Q_OBJECT
 public:
  Dot(QColor color, int size = 8, QWidget* parent = nullptr);
  void setColor(QColor color);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor color_;
};

// The brand mark (a key outline with a bar) and the name.
class WordMark : public QWidget {
  Q_OBJECT
 public:
  explicit WordMark(double size = 15, QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  double size_;
};

// Draws the brand mark into a square.
void paintMark(class QPainter& painter, const QRectF& square, QColor color);

// A horizontal hairline.
QWidget* hairline(QWidget* parent = nullptr);

// The panel cards and the note are drawn on: the panel colour inside a
// hairline edge, its corners rounded by radius. Turns antialiasing on.
void paintPanel(QPainter& painter, const QRect& area, double radius);

// A window's place kept in the user defaults under key as [x, y, width,
// height]: read back no smaller than minimum, and only while at least
// `showing` of it lies on one of the screens.
std::optional<QRect> savedFrame(std::string_view key, QSize minimum, QSize showing);
void saveFrame(std::string_view key, const QRect& frame);

// The style sheet of fields, editors, scroll bars and tool tips, in the
// palette's current colours.
QString fieldStyleSheet();

// Renders a widget at twice its size into a PNG and writes it atomically;
// false when the picture or the file could not be made.
bool writeSnapshot(QWidget& widget, const std::string& path);

// Lets the event loop run for a while (animations and timers settle).
void runEventsFor(int milliseconds);

}  // namespace quorvel::ui
