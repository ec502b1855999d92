// A settings card whose rows show something the shell can change at any time
// (the inputs plugged in, a model downloading). It asks again on a timer and
// draws its rows anew only when the answer changed, so a redraw never takes
// a row away under the pointer for nothing.
//
// Threading: main thread only.
#pragma once

#include <QTimer>
#include <chrono>

#include "ui/UiKit.h"

class QVBoxLayout;

namespace quorvel::ui {

class PolledCard : public Card {
  Q_OBJECT
 public:
  PolledCard(std::chrono::milliseconds interval, QWidget* parent);

 protected:
  // Reads what the card shows and keeps it; true when it differs from what
  // was kept before.
  virtual bool readChanged() = 0;
  // Draws rows_ from what readChanged() kept.
  virtual void refill() = 0;
  // Draws the card and starts the timer. Call once, at the end of the
  // derived class's constructor (only from there do the calls above reach it).
  void startLooking();
  // Asks again now, after a click that changes the answer.
  void look();

  QVBoxLayout* rows_ = nullptr;

 private:

  QTimer again_;
  bool drawn_ = false;
};

}  // namespace quorvel::ui
