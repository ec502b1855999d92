// The tray's look and the status menu, worked out from the application's state.
#include "app/tray/StatusMenu.h"

#include <string_view>

#include "app/desktop/DictationKeys.h"

namespace quorvel {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) { return text.starts_with(prefix); }

}  // namespace

TrayLook trayLook(const StatusFacts& facts) {
  TrayLook look;
  look.recording = facts.state == AppState::recording;
  look.loading = facts.state == AppState::starting;
  look.update = facts.updatePending;
  look.tint = facts.state == AppState::processing  ? TrayTint::accent
              : facts.state == AppState::recording ? TrayTint::recording
                                                   : TrayTint::none;
  std::string toolTip = "Quorvel";
  switch (facts.setup.phase) {
    case SetupInfo::Phase::failed:
      look.title = " !";
      look.alert = true;
      toolTip += " !";
      break;
    case SetupInfo::Phase::downloading:
      look.title = " " + std::to_string(facts.setup.percent()) + "%";
      look.progress = facts.setup.fraction();
      toolTip += look.title;
      break;
    default:
      break;
  }
  if (!facts.statusLine.empty() && !startsWith(facts.statusLine, "Ready")) {
    toolTip += " — " + facts.statusLine;
  }
  look.toolTip = toolTip;
  return look;
}

std::string hintLine(const KeyBinding& keys) {
  return "Hold " + keyName(keys.dictation) + " to dictate · tap " + keyName(keys.note) + " for a note";
}

std::vector<MenuItem> statusMenu(const StatusFacts& facts) {
  const auto separator = [] {
    MenuItem item;
    item.separator = true;
    return item;
  };
  const std::string& line = facts.statusLine;
  const bool lineWorthReading =
      !startsWith(line, "Ready") && !startsWith(line, "Done") && !startsWith(line, "Didn't");
  const auto item = [](std::string title, MenuAction action, std::string shortcut = {}) {
    MenuItem made;
    made.title = std::move(title);
    made.action = action;
    made.shortcut = std::move(shortcut);
    return made;
  };
  std::vector<MenuItem> menu;
  menu.push_back(item("Open Quorvel…", MenuAction::openDashboard, "o"));
  menu.push_back(separator());
  menu.push_back(item("New Brainstorm Note", MenuAction::openNote, "n"));
  menu.push_back(separator());
  MenuItem hint = item(hintLine(facts.keys), MenuAction::none);
  hint.enabled = false;
  menu.push_back(hint);
  MenuItem status = item(line, MenuAction::none);
  status.enabled = false;
  status.visible = lineWorthReading;
  menu.push_back(status);
  MenuItem update = item("Update Available…", MenuAction::showUpdate);
  update.visible = facts.updatePending;
  menu.push_back(update);
  menu.push_back(separator());
  MenuItem last = item("Copy Last Dictation", MenuAction::copyLast, "c");
  last.enabled = !facts.lastText.empty();
  last.toolTip = facts.lastText;
  menu.push_back(last);
  MenuItem retry = item("Try Last Dictation Again", MenuAction::retryLast);
  retry.visible = facts.canRetry;
  menu.push_back(retry);
  menu.push_back(separator());
  menu.push_back(item("Set Up Quorvel…", MenuAction::openOnboarding));
  menu.push_back(item("Quit Quorvel", MenuAction::quit, "q"));
  return menu;
}

std::string refreshedStatusLine(const std::string& current, AppState state, bool trusted,
                                const InputAccess& access) {
  if (std::string missing = inputAccessStatusLine(access); !missing.empty()) return missing;
  if (!trusted) return "Needs Accessibility permission (see below)";
  if (state == AppState::idle && (startsWith(current, "Starting") || startsWith(current, "Needs"))) {
    return "Ready";
  }
  return current;
}

}  // namespace quorvel
