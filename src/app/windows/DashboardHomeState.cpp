// The Home page's state as plain values.
#include "app/windows/DashboardHomeState.h"

namespace quorvel {

DashboardHomeState dashboardHomeState(const DashboardBridge& bridge) {
  const SetupInfo setup = bridge.setup();
  DashboardHomeState shown;
  shown.setupPhase = setup.phase;
  shown.setupDone = setup.done;
  shown.setupTotal = setup.total;
  // Whole seconds: a finer estimate changes nothing the page says.
  shown.setupSecondsLeft = setup.secondsLeft ? static_cast<long>(*setup.secondsLeft) : -1;
  shown.setupMessage = setup.message;
  shown.setupJustFinished = setup.justFinished;
  shown.state = bridge.state();
  shown.status = bridge.status();
  shown.mic = bridge.micStatus();
  shown.trusted = bridge.trusted();
  shown.updateVersion = bridge.updateVersion();
  shown.wayland = bridge.wayland();
  shown.access = bridge.inputAccess();
  return shown;
}

bool dictationKeyHeld(const DashboardBridge& bridge) { return bridge.state() == AppState::recording; }

std::string updateBannerText(const std::string& version) {
  if (version.empty() || version == "A new version") return "A new version of Quorvel is available.";
  return "Quorvel " + version + " is available.";
}

}  // namespace quorvel
