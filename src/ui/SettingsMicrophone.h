// The settings page's microphone card: the sound server's inputs, the one in
// use marked, a button to use another, and a line while the chosen one is
// unplugged. It looks again every two seconds, so inputs plugged in or out
// come and go while the page shows.
//
// Threading: main thread only.
#pragma once

#include <QTimer>

#include "app/windows/DashboardBridge.h"
#include "ui/UiKit.h"

class QVBoxLayout;

namespace quorvel::ui {

class MicrophoneSettingsCard final : public Card {
  Q_OBJECT
 public:
  // REQUIRES: bridge outlives the card.
  MicrophoneSettingsCard(DashboardBridge& bridge, QWidget* parent = nullptr);

 private:
  // Reads the sources and redraws when they or the choice changed.
  void look();
  void refill();
  void addChoice(const QString& title, const QString& detail, bool inUse, std::optional<MicSource> source);

  DashboardBridge& bridge_;
  QVBoxLayout* rows_ = nullptr;
  QTimer again_;
  std::optional<std::vector<MicSource>> sources_;
  std::optional<MicSource> chosen_;
  bool drawn_ = false;
};

}  // namespace quorvel::ui
