// Wording of the dashboard's and onboarding's state texts.
#include "app/windows/DashboardTexts.h"

#include <cmath>
#include <cstdio>

#include "app/desktop/DictationKeys.h"
#include "text/Unicode.h"

namespace quorvel {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}
bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The time left after the sizes, or nothing without a usable estimate.
std::string timeLeft(const std::optional<double>& seconds, Wording wording) {
  if (!seconds || !std::isfinite(*seconds) || *seconds < 0) return {};
  if (*seconds < 60) {
    return wording == Wording::dashboard ? " · less than a minute left" : " · under a minute left";
  }
  const double minutes = std::min(std::ceil(*seconds / 60.0), 1e6);
  return " · about " + std::to_string(static_cast<long long>(minutes)) + " min left";
}

}  // namespace

TitleStatus titleStatus(std::string_view status) {
  TitleStatus title;
  if (startsWith(status, "Ready") || startsWith(status, "Done") || startsWith(status, "Didn't")) {
    return title;
  }
  std::string_view head = status;
  if (const size_t bracket = head.find(" ("); bracket != std::string_view::npos) {
    head = head.substr(0, bracket);
  }
  title.shown = !head.empty();
  title.alert = startsWith(status, "Needs") || contains(status, "failed") || contains(status, "unavailable");
  const icu::UnicodeString text = unicode::fromUtf8(head);
  title.text = text.length() >= 35 ? unicode::toUtf8(unicode::prefixOfAtMost(text, 33)) + "…"
                                   : std::string(head);
  return title;
}

std::string byteSize(std::int64_t bytes) {
  if (bytes < 0) bytes = 0;
  char buffer[32];
  const double value = static_cast<double>(bytes);
  if (bytes < 1000) {
    std::snprintf(buffer, sizeof buffer, "%lld bytes", static_cast<long long>(bytes));
  } else if (bytes < 1000 * 1000) {
    std::snprintf(buffer, sizeof buffer, "%.0f KB", value / 1e3);
  } else if (bytes < 1000LL * 1000 * 1000) {
    std::snprintf(buffer, sizeof buffer, "%.0f MB", value / 1e6);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.1f GB", value / 1e9);
  }
  return buffer;
}

std::string downloadLine(const SetupInfo& setup, Wording wording) {
  if (setup.done <= 0) return "Starting the download";
  return byteSize(setup.done) + " of " + byteSize(setup.total) + timeLeft(setup.secondsLeft, wording);
}

std::optional<SetupPanel> setupPanel(const SetupInfo& setup) {
  SetupPanel panel;
  switch (setup.phase) {
    case SetupInfo::Phase::downloading:
      panel.kind = SetupPanel::Kind::downloading;
      panel.eyebrow = "Setting up Quorvel · one time";
      panel.title = "Downloading Quorvel's speech and cleanup models";
      panel.progress = setup.fraction();
      panel.detail = downloadLine(setup, Wording::dashboard) +
                     ". This happens once. You can allow the permissions below while you wait; "
                     "dictation works as soon as this finishes.";
      return panel;
    case SetupInfo::Phase::starting:
      panel.kind = SetupPanel::Kind::starting;
      panel.eyebrow = "Setting up Quorvel · almost done";
      panel.title = "Starting the models on this computer…";
      panel.detail = "This takes a few seconds. Then hold " + dictationKeyName() + " and talk.";
      return panel;
    case SetupInfo::Phase::failed:
      panel.kind = SetupPanel::Kind::failed;
      panel.eyebrow = "Setting up Quorvel";
      panel.title = setup.failureTitle();
      panel.detail = setup.message.empty() ? "Check your internet connection, then try again." : setup.message;
      panel.retry = true;
      return panel;
    case SetupInfo::Phase::ready:
      if (!setup.justFinished) return std::nullopt;
      panel.kind = SetupPanel::Kind::finished;
      panel.title = "Quorvel is ready.";
      panel.detail = "Hold " + dictationKeyName() + " and talk. Everything runs on this computer from now on, even offline.";
      return panel;
  }
  return std::nullopt;
}

std::vector<PermissionRow> permissionRows(MicStatus mic, bool trusted, const InputAccess& access) {
  std::vector<PermissionRow> rows;
  if (mic != MicStatus::authorised) {
    PermissionRow row;
    row.kind = PermissionRow::Kind::microphone;
    row.text = "Quorvel needs your microphone.";
    if (mic == MicStatus::notDetermined) {
      row.button = "Allow microphone";
    } else {
      row.button = "Open Settings";
      row.detail = "Check that a microphone is plugged in and that its input is not muted for Quorvel.";
    }
    rows.push_back(row);
  }
  if (access.wayland && access.readKeyboard && access.virtualKeyboard && access.typingAsk()) {
    PermissionRow row;
    row.kind = PermissionRow::Kind::typing;
    row.text = "Quorvel can't type into other windows yet.";
    row.button = "Allow Typing";
    row.detail = typingConsentDetail(access.typingConsent);
    rows.push_back(row);
  } else if (!access.complete()) {
    PermissionRow row;
    row.kind = PermissionRow::Kind::keyboard;
    row.text = !access.readKeyboard ? "Quorvel can't hear the " + dictationKeyName() + " key yet."
                                    : "Quorvel can't type into other windows yet.";
    if (!access.loginPending || access.ruleMissing) row.button = "Copy Command";
    row.detail = inputAccessDetail(access, uinputRuleFile());
    rows.push_back(row);
  } else if (!trusted) {
    PermissionRow row;
    row.kind = PermissionRow::Kind::accessibility;
    row.text = "Quorvel can't hear the " + dictationKeyName() + " key yet.";
    row.button = "Allow Accessibility";
    rows.push_back(row);
  }
  return rows;
}

StateRow stateRow(AppState state, std::string_view status) {
  if (state == AppState::recording) return {"Listening", Tone::rec};
  if (state == AppState::processing) return {"Typing", Tone::accent};
  if (state == AppState::starting) {
    if (startsWith(status, "Downloading") || startsWith(status, "Couldn't") || contains(status, "isn't available")) {
      const bool bad = startsWith(status, "Couldn't") || contains(status, "isn't");
      return {std::string(status), bad ? Tone::rec : Tone::mute};
    }
    return {"Starting the models…", Tone::mute};
  }
  return {"Ready · works offline", Tone::accent};
}

}  // namespace quorvel
