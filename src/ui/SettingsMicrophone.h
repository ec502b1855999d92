// The settings page's microphone card: the sound server's inputs, the one in
// use marked, a button to use another, and a line while the chosen one is
// unplugged. It looks again every two seconds, so inputs plugged in or out
// come and go while the page shows.
//
// Threading: main thread only.
#pragma once

#include "app/windows/DashboardBridge.h"
#include "ui/PolledCard.h"

namespace quorvel::ui {

class MicrophoneSettingsCard final : public PolledCard {
  Q_OBJECT
 public:
  // REQUIRES: bridge outlives the card.
  MicrophoneSettingsCard(DashboardBridge& bridge, QWidget* parent = nullptr);

 private:
  // The sources and the choice.
  bool readChanged() override;
  void refill() override;
  void addChoice(const QString& title, const QString& detail, bool inUse, std::optional<MicSource> source);

  DashboardBridge& bridge_;
  std::optional<std::vector<MicSource>> sources_;
  std::optional<MicSource> chosen_;
};

}  // namespace quorvel::ui
