// What the dashboard's Home page shows, read from the bridge in one go: the
// page compares it with what it drew and draws again only on a change. Also
// the page's two small decisions, the pressed key and the update banner.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/windows/DashboardBridge.h"
#include "app/permissions/InputAccess.h"
#include "app/models/SetupInfo.h"

namespace quorvel {

struct DashboardHomeState {
  SetupInfo::Phase setupPhase = SetupInfo::Phase::ready;
  std::int64_t setupDone = 0;
  std::int64_t setupTotal = 0;
  long setupSecondsLeft = -1;  // whole seconds, -1 without an estimate
  std::string setupMessage;
  bool setupJustFinished = false;
  AppState state = AppState::idle;
  std::string status;
  MicStatus mic = MicStatus::notDetermined;
  bool trusted = false;
  std::optional<std::string> updateVersion;
  bool wayland = false;
  InputAccess access;

  bool operator==(const DashboardHomeState&) const = default;
};

DashboardHomeState dashboardHomeState(const DashboardBridge& bridge);

// The dictation key's picture is shown held down while a recording runs.
bool dictationKeyHeld(const DashboardBridge& bridge);

// The update banner: "Quorvel 1.0.0 is available.", or "A new version of
// Quorvel is available." when the feed named no version.
std::string updateBannerText(const std::string& version);

}  // namespace quorvel
