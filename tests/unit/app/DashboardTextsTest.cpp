// The wording of the application's state in the dashboard and onboarding.
#include <gtest/gtest.h>

#include "app/windows/DashboardTexts.h"

namespace quorvel {
namespace {

TEST(TitleStatus, ShowsOnlyNewsAndMarksTrouble) {
  struct Case {
    std::string status;
    bool shown;
    std::string text;
    bool alert;
  };
  const std::vector<Case> cases = {
      {"Ready", false, "", false},
      {"Done in 1.2 s", false, "", false},
      {"Didn't catch that", false, "", false},
      {"Needs Accessibility permission (see below)", true, "Needs Accessibility permission", true},
      {"Models failed to start (see logs)", true, "Models failed to start", true},
      {"Speech model unavailable", true, "Speech model unavailable", true},
      {"Starting local models…", true, "Starting local models…", false},
      // 35 characters or more: the first 33 and an ellipsis.
      {"Downloading Quorvel's models · 42 percent", true, "Downloading Quorvel's models · 42…", false},
      {std::string(34, 'a'), true, std::string(34, 'a'), false},
      {"😀" + std::string(40, 'b'), true, "😀" + std::string(31, 'b') + "…", false},
  };
  for (const Case& c : cases) {
    const TitleStatus title = titleStatus(c.status);
    EXPECT_EQ(title.shown, c.shown) << c.status;
    if (c.shown) {
      EXPECT_EQ(title.text, c.text) << c.status;
    }
    EXPECT_EQ(title.alert, c.alert) << c.status;
  }
}

TEST(DownloadLine, SizesAndTimeLeft) {
  SetupInfo setup;
  setup.phase = SetupInfo::Phase::downloading;
  EXPECT_EQ(downloadLine(setup, Wording::dashboard), "Starting the download");
  setup.done = 642'000'000;
  setup.total = 1'297'507'417;
  EXPECT_EQ(downloadLine(setup, Wording::dashboard), "642 MB of 1.3 GB");
  setup.secondsLeft = 170;
  EXPECT_EQ(downloadLine(setup, Wording::dashboard), "642 MB of 1.3 GB · about 3 min left");
  setup.secondsLeft = 59.5;
  EXPECT_EQ(downloadLine(setup, Wording::dashboard), "642 MB of 1.3 GB · less than a minute left");
  EXPECT_EQ(downloadLine(setup, Wording::onboarding), "642 MB of 1.3 GB · under a minute left");
  setup.secondsLeft = std::numeric_limits<double>::infinity();
  EXPECT_EQ(downloadLine(setup, Wording::onboarding), "642 MB of 1.3 GB");
  EXPECT_EQ(byteSize(512), "512 bytes");
  EXPECT_EQ(byteSize(980'400), "980 KB");
  EXPECT_EQ(byteSize(-5), "0 bytes");
}

TEST(SetupPanel, FollowsThePhase) {
  SetupInfo setup;
  EXPECT_FALSE(setupPanel(setup).has_value());
  setup.justFinished = true;
  EXPECT_EQ(setupPanel(setup)->title, "Quorvel is ready.");
  setup.phase = SetupInfo::Phase::failed;
  EXPECT_EQ(setupPanel(setup)->detail, "Check your internet connection, then try again.");
  EXPECT_TRUE(setupPanel(setup)->retry);
  setup.message = "Disk full.";
  EXPECT_EQ(setupPanel(setup)->detail, "Disk full.");
  setup.phase = SetupInfo::Phase::downloading;
  setup.done = 50;
  setup.total = 100;
  EXPECT_DOUBLE_EQ(*setupPanel(setup)->progress, 0.5);
  EXPECT_EQ(setupPanel(setup)->eyebrow, "Setting up Quorvel · one time");
}

TEST(PermissionRows, AskForWhatIsMissing) {
  const InputAccess x11;
  EXPECT_TRUE(permissionRows(MicStatus::authorised, true, x11).empty());
  auto rows = permissionRows(MicStatus::notDetermined, false, x11);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].button, "Allow microphone");
  EXPECT_EQ(rows[1].text, "Quorvel can't hear the right Alt key yet.");
  EXPECT_EQ(rows[1].button, "Allow Accessibility");
  EXPECT_EQ(permissionRows(MicStatus::denied, true, x11)[0].button, "Open Settings");
  EXPECT_EQ(permissionRows(MicStatus::restricted, true, x11)[0].button, "Open Settings");
}

TEST(PermissionRows, OnWaylandTheKeyboardStepComesBeforeAccessibility) {
  InputAccess access;
  access.wayland = true;
  access.readKeyboard = false;
  auto rows = permissionRows(MicStatus::authorised, false, access);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].kind, PermissionRow::Kind::keyboard);
  EXPECT_EQ(rows[0].text, "Quorvel can't hear the right Alt key yet.");
  EXPECT_EQ(rows[0].button, "Copy Command");
  EXPECT_NE(rows[0].detail.find("sudo usermod -aG input $USER"), std::string::npos);
  EXPECT_NE(rows[0].detail.find("log out and back in"), std::string::npos);

  access.readKeyboard = true;
  access.virtualKeyboard = false;
  access.ruleMissing = true;
  rows = permissionRows(MicStatus::authorised, true, access);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].text, "Quorvel can't type into other windows yet.");
  EXPECT_NE(rows[0].detail.find("60-quorvel-uinput.rules"), std::string::npos);

  // Only a new login helps: nothing to copy.
  access.ruleMissing = false;
  access.loginPending = true;
  rows = permissionRows(MicStatus::authorised, true, access);
  EXPECT_EQ(rows[0].button, "");
  EXPECT_NE(rows[0].detail.find("Log out and back in"), std::string::npos);

  // Typing through the desktop's portal, not allowed yet: its dialog, no command.
  InputAccess portal{true, true, true, false, false};
  portal.typing = TypingPath::remoteDesktop;
  for (const TypingConsent consent : {TypingConsent::notAsked, TypingConsent::refused, TypingConsent::revoked}) {
    portal.typingConsent = consent;
    rows = permissionRows(MicStatus::authorised, true, portal);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].kind, PermissionRow::Kind::typing);
    EXPECT_EQ(rows[0].button, "Allow Typing");
    EXPECT_EQ(rows[0].detail, typingConsentDetail(consent));
    EXPECT_EQ(rows[0].detail.find("sudo"), std::string::npos);
  }
  portal.typingConsent = TypingConsent::given;
  EXPECT_TRUE(permissionRows(MicStatus::authorised, true, portal).empty());

  // Granted, but the accessibility switch is still off.
  rows = permissionRows(MicStatus::authorised, false, InputAccess{true, true, true, false, false});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].button, "Allow Accessibility");
}

TEST(StateRow, FollowsTheApplicationsState) {
  EXPECT_EQ(stateRow(AppState::recording, "Ready").text, "Listening");
  EXPECT_EQ(stateRow(AppState::recording, "Ready").tone, Tone::rec);
  EXPECT_EQ(stateRow(AppState::processing, "").text, "Typing");
  EXPECT_EQ(stateRow(AppState::starting, "Starting local models…").text, "Starting the models…");
  EXPECT_EQ(stateRow(AppState::starting, "Downloading Quorvel's models… 40%").tone, Tone::mute);
  EXPECT_EQ(stateRow(AppState::starting, "Couldn't download the models.").tone, Tone::rec);
  EXPECT_EQ(stateRow(AppState::starting, "The speech model isn't available").tone, Tone::rec);
  EXPECT_EQ(stateRow(AppState::idle, "Ready").text, "Ready · works offline");
}

}  // namespace
}  // namespace quorvel
