// The settings page's speech model card: base.en, small.en and
// large-v3-turbo with size, licence and what each is good at; the one in use
// marked, another downloaded and switched to with its progress shown, and
// downloaded ones not in use deletable.
//
// Threading: main thread only.
#pragma once

#include <QTimer>

#include "app/windows/DashboardBridge.h"
#include "ui/UiKit.h"

class QVBoxLayout;

namespace quorvel::ui {

class SpeechModelCard final : public Card {
  Q_OBJECT
 public:
  // REQUIRES: bridge outlives the card.
  SpeechModelCard(DashboardBridge& bridge, QWidget* parent = nullptr);

 private:
  // Redraws when the models or the switch under way changed.
  void look();
  void refill();

  DashboardBridge& bridge_;
  QVBoxLayout* rows_ = nullptr;
  QTimer again_;
  std::vector<SpeechModelRow> models_;
  SpeechSwitch switch_;
  bool drawn_ = false;
};

}  // namespace quorvel::ui
