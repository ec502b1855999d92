// The tray item and its menu as plain data: which icon, title, tint and tool
// tip the tray shows, and which menu items are shown, enabled and titled how.
// Built from the application's state by pure functions; the tray adapter only
// draws what it is given.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/core/AppState.h"
#include "app/permissions/InputAccess.h"
#include "app/desktop/KeySource.h"
#include "app/models/SetupInfo.h"

namespace quorvel {

enum class MenuAction { none, openDashboard, openNote, copyLast, retryLast, showUpdate, openOnboarding, quit };

struct MenuItem {
  bool separator = false;
  std::string title;
  MenuAction action = MenuAction::none;
  std::string shortcut;  // one letter, shown as Ctrl+letter
  bool enabled = true;
  bool visible = true;
  std::string toolTip;
  bool operator==(const MenuItem&) const = default;
};

enum class TrayTint { none, accent, recording };

struct TrayLook {
  bool recording = false;  // filled square with the bar cut out
  bool loading = false;    // the empty square
  bool update = false;     // a dot in the top right corner
  // " 42%" while downloading, " !" after a failed setup, else "".
  std::string title;
  TrayTint tint = TrayTint::none;
  // For trays that cannot show a title beside the icon.
  std::optional<double> progress;  // 0…1 while downloading
  bool alert = false;              // setup failed
  std::string toolTip;
  bool operator==(const TrayLook&) const = default;
};

// What the tray and the menu are built from.
struct StatusFacts {
  AppState state = AppState::starting;
  SetupInfo setup;
  bool updatePending = false;
  bool trusted = false;
  std::string statusLine;
  std::string lastText;
  bool canRetry = false;  // a dictation whose words could not be had is kept
  KeyBinding keys;
};

inline constexpr const char* kStartingLine = "Starting local models…";
// "Hold right Alt to dictate · tap right Super for a note", with the chosen keys.
std::string hintLine(const KeyBinding& keys);

TrayLook trayLook(const StatusFacts& facts);

// The menu in order: Open Quorvel…, New Brainstorm Note, the hint, the status
// line (hidden when it begins with "Ready", "Done" or "Didn't"), Update
// Available… (only while an update waits), Copy Last Dictation (enabled only
// with a last text, which is its tool tip), Try Last Dictation Again (only
// while a failed dictation is kept), Set Up Quorvel…, Quit Quorvel.
std::vector<MenuItem> statusMenu(const StatusFacts& facts);

// The status line after a refresh: a missing permission wins (on Wayland the
// keyboard devices' step first, then accessibility); an idle application
// that still says "Starting…" or "Needs…" says "Ready".
std::string refreshedStatusLine(const std::string& current, AppState state, bool trusted,
                                const InputAccess& access = {});

}  // namespace quorvel
