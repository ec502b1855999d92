// The texts the dashboard and onboarding windows show for the application's
// state: the title strip's status, the setup panel, the permission rows and
// the state row, the download line, sizes. Plain functions of the bridge's
// answers, so every wording rule is tested without a window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/windows/DashboardBridge.h"
#include "app/permissions/InputAccess.h"
#include "app/models/SetupInfo.h"

namespace quorvel {

// How a line is coloured.
enum class Tone { ink, mute, accent, rec };

// The title strip beside the word mark.
struct TitleStatus {
  bool shown = false;
  std::string text;    // the status up to " (", cut to 33 characters + "…"
  bool alert = false;  // red dot: needs something, or something failed
};
TitleStatus titleStatus(std::string_view status);

// A byte count for people: "642 MB", "1.3 GB", "980 KB".
std::string byteSize(std::int64_t bytes);

// The download's progress line: "Starting the download", or "642 MB of 1.3 GB"
// followed by the time left. The dashboard says "less than a minute left",
// onboarding "under a minute left".
enum class Wording { dashboard, onboarding };
std::string downloadLine(const SetupInfo& setup, Wording wording);

// The Home page's setup panel, while the models are not ready or right after
// the first download.
struct SetupPanel {
  enum class Kind { downloading, starting, failed, finished };
  Kind kind = Kind::downloading;
  std::string eyebrow;  // "Setting up Quorvel · one time"
  std::string title;
  std::string detail;
  std::optional<double> progress;  // downloading: the bar's fraction
  bool retry = false;              // "Try Again"
};
std::optional<SetupPanel> setupPanel(const SetupInfo& setup);

// A permission the Home page asks for, with its button.
struct PermissionRow {
  enum class Kind { microphone, accessibility, keyboard, typing };
  Kind kind = Kind::microphone;
  std::string text;
  std::string button;   // "" when there is nothing to press (only a new login helps)
  std::string detail;  // how to do it by hand, when the button cannot
};
// At most two rows: the microphone when not authorised; then, on Wayland, the
// keyboard devices' permission step while it is missing (the button copies
// its command), else the desktop's typing dialog while typing goes through
// its portal and was not allowed yet, else the accessibility switch when the keys or the field
// can't be reached.
std::vector<PermissionRow> permissionRows(MicStatus mic, bool trusted, const InputAccess& access);

// The state row, shown once both permissions are there.
struct StateRow {
  std::string text;
  Tone tone = Tone::accent;
};
StateRow stateRow(AppState state, std::string_view status);

}  // namespace quorvel
