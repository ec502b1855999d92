// The settings page's speech model card: base.en, small.en and
// large-v3-turbo with size, licence and what each is good at; the one in use
// marked, another downloaded and switched to with its progress shown, and
// downloaded ones not in use deletable.
//
// Threading: main thread only.
#pragma once

#include "app/windows/DashboardBridge.h"
#include "ui/PolledCard.h"

namespace quorvel::ui {

class SpeechModelCard final : public PolledCard {
  Q_OBJECT
 public:
  // REQUIRES: bridge outlives the card.
  SpeechModelCard(DashboardBridge& bridge, QWidget* parent = nullptr);

 private:
  // The models and the switch under way.
  bool readChanged() override;
  void refill() override;

  DashboardBridge& bridge_;
  std::vector<SpeechModelRow> models_;
  SpeechSwitch switch_;
};

}  // namespace quorvel::ui
