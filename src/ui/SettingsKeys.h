// The settings page's keys card: which key dictates, which opens the note
// (the offered keys, or "a key I press" learned from the keyboard), and
// whether a tap of the dictation key starts a hands-free recording.
//
// Threading: main thread only.
#pragma once

#include "app/windows/DashboardBridge.h"
#include "ui/UiKit.h"

class QVBoxLayout;

namespace quorvel::ui {

class KeySettingsCard final : public Card {
  Q_OBJECT
 public:
  // REQUIRES: bridge outlives the card.
  KeySettingsCard(DashboardBridge& bridge, QWidget* parent = nullptr);

 private:
  // Draws the rows again from the bridge (after a choice, or while learning).
  void refill();
  void addKeyRow(ShellKey part);
  void learn(ShellKey part);

  DashboardBridge& bridge_;
  QVBoxLayout* rows_ = nullptr;
  ShellKey learning_ = ShellKey::other;  // the part waiting for a key press
  QString notice_;                        // one line under the rows, "" for none
};

}  // namespace quorvel::ui
