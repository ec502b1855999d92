// The onboarding's pictures: the intro splash that types the product name,
// the demonstration card that strikes the filler words and types the clean
// sentence, the step icons, and the picture of the switch (or the command)
// that lets Quorvel hear the keys.
//
// Threading: main thread only.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "app/windows/OnboardingModel.h"

namespace quorvel::ui {

// "Quorvel" typed behind a blinking cursor, then fading away; `done` runs
// at the end.
class IntroSplash final : public QWidget {
 public:
  IntroSplash(std::function<void()> done, QWidget* parent);
  // Where the animation stands at `ms` after its start.
  struct Frame {
    int letters = 0;        // letters of the name shown
    bool cursor = true;     // the cursor is drawn
    double opacity = 1;     // the whole splash
    bool finished = false;  // the animation is over
  };
  static Frame frameAt(double ms);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  std::function<void()> done_;
  QElapsedTimer clock_;
  QTimer frames_;
};

// The card that shows what Quorvel does with a sentence, playing in a loop.
class DemoCard final : public QWidget {
 public:
  explicit DemoCard(QWidget* parent);
  // Shows the finished card and stops playing (pictures).
  void freeze();
  struct Frame {
    int words = 0;   // said words shown
    int struck = 0;  // dropped words struck so far
    int typed = 0;   // characters of the clean sentence typed
  };
  static Frame frameAt(double ms);
  QSize sizeHint() const override { return {480, 176}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QElapsedTimer clock_;
  QTimer frames_;
  bool frozen_ = false;
};

// The step's icon: a soft square with a drawn glyph.
class StepIcon final : public QWidget {
 public:
  StepIcon(OnboardingStep step, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  OnboardingStep step_;
};

// X11: the desktop's accessibility switch, turned on or off. Wayland: the
// command that adds the user to the input group.
class SwitchPicture final : public QWidget {
 public:
  // wayland: the terminal with the command; withRule: the udev rule is part
  // of the copied command too; portal: the desktop's own typing permission
  // in place of the accessibility switch.
  SwitchPicture(bool wayland, bool withRule, QWidget* parent, bool portal = false);
  void setOn(bool on);
  QSize sizeHint() const override { return {420, wayland_ ? (withRule_ ? 110 : 92) : 104}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  bool wayland_;
  bool withRule_;
  bool portal_;
  bool on_ = false;
};

// The microphone as the sound server offers it, with a level that moves
// while the window shows (still in pictures).
class MicPicture final : public QWidget {
 public:
  explicit MicPicture(QWidget* parent);
  void freeze();
  QSize sizeHint() const override { return {420, 76}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QElapsedTimer clock_;
  QTimer frames_;
  bool frozen_ = false;
};

// The progress of the steps: a dot per step, the current one long.
class StepDots final : public QWidget {
 public:
  explicit StepDots(QWidget* parent);
  void setSteps(int count, int current);
  QSize sizeHint() const override { return {count_ * 16 + 16, 12}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  int count_ = 0;
  int current_ = 0;
};

}  // namespace quorvel::ui
