// The tray's look and the menu as data.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/tray/StatusMenu.h"

namespace quorvel {
namespace {

const MenuItem& itemFor(const std::vector<MenuItem>& menu, MenuAction action) {
  return *std::find_if(menu.begin(), menu.end(), [&](const MenuItem& item) { return item.action == action; });
}

const MenuItem& statusItem(const std::vector<MenuItem>& menu) {
  // The one disabled line after the hint.
  auto hint = std::find_if(menu.begin(), menu.end(), [](const MenuItem& item) { return item.title == hintLine(KeyBinding()); });
  return *(hint + 1);
}

TEST(StatusMenu, TheStatusLineShowsOnlyNewsWorthReading) {
  struct Case {
    const char* line;
    bool visible;
  };
  const Case cases[] = {{"Ready", false},
                        {"Done in 1.2s (cleaned)", false},
                        {"Didn't catch that", false},
                        {"Needs Accessibility permission (see below)", true},
                        {"Downloading Quorvel's models… 42% of 1.3 GB", true},
                        {"Models failed to start (see logs)", true},
                        {"No sound from the microphone", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    StatusFacts facts;
    facts.statusLine = c.line;
    const auto menu = statusMenu(facts);
    EXPECT_EQ(statusItem(menu).title, c.line);
    EXPECT_EQ(statusItem(menu).visible, c.visible);
    EXPECT_FALSE(statusItem(menu).enabled);
  }
}

TEST(StatusMenu, CopyLastNeedsATextAndUpdateNeedsAPendingUpdate) {
  StatusFacts facts;
  auto menu = statusMenu(facts);
  EXPECT_FALSE(itemFor(menu, MenuAction::copyLast).enabled);
  EXPECT_FALSE(itemFor(menu, MenuAction::showUpdate).visible);
  facts.lastText = "Dear team,";
  facts.updatePending = true;
  menu = statusMenu(facts);
  EXPECT_TRUE(itemFor(menu, MenuAction::copyLast).enabled);
  EXPECT_EQ(itemFor(menu, MenuAction::copyLast).toolTip, "Dear team,");
  EXPECT_TRUE(itemFor(menu, MenuAction::showUpdate).visible);
  EXPECT_EQ(itemFor(menu, MenuAction::quit).shortcut, "q");
}

TEST(StatusMenu, TheTrayShowsProgressFailureAndState) {
  StatusFacts facts;
  facts.setup.phase = SetupInfo::Phase::downloading;
  facts.setup.done = 999;
  facts.setup.total = 1000;
  TrayLook look = trayLook(facts);
  EXPECT_EQ(look.title, " 99%");
  ASSERT_TRUE(look.progress);
  EXPECT_NEAR(*look.progress, 0.999, 1e-9);
  EXPECT_TRUE(look.loading);
  EXPECT_NE(look.toolTip.find("99%"), std::string::npos);

  facts.setup.phase = SetupInfo::Phase::failed;
  look = trayLook(facts);
  EXPECT_EQ(look.title, " !");
  EXPECT_TRUE(look.alert);

  facts.setup.phase = SetupInfo::Phase::ready;
  facts.state = AppState::recording;
  look = trayLook(facts);
  EXPECT_EQ(look.title, "");
  EXPECT_TRUE(look.recording);
  EXPECT_EQ(look.tint, TrayTint::recording);
  facts.state = AppState::processing;
  EXPECT_EQ(trayLook(facts).tint, TrayTint::accent);
}

TEST(StatusMenu, RefreshTurnsStartingIntoReadyOnlyWhenIdleAndTrusted) {
  EXPECT_EQ(refreshedStatusLine("Starting local models…", AppState::idle, true), "Ready");
  EXPECT_EQ(refreshedStatusLine("Starting local models…", AppState::starting, true), "Starting local models…");
  EXPECT_EQ(refreshedStatusLine("Done in 1.0s (cleaned)", AppState::idle, false),
            "Needs Accessibility permission (see below)");
  EXPECT_EQ(refreshedStatusLine("Needs Accessibility permission (see below)", AppState::idle, true), "Ready");
  EXPECT_EQ(refreshedStatusLine("Done in 1.0s (cleaned)", AppState::idle, true), "Done in 1.0s (cleaned)");
  // On Wayland the keyboard devices' step is named before accessibility.
  InputAccess wayland{true, false, false, false, false};
  EXPECT_EQ(refreshedStatusLine("Ready", AppState::idle, false, wayland),
            "Needs permission to read the keyboard (see below)");
  wayland.readKeyboard = true;
  EXPECT_EQ(refreshedStatusLine("Ready", AppState::idle, true, wayland), "Needs permission to type (see below)");
  wayland.virtualKeyboard = true;
  EXPECT_EQ(refreshedStatusLine("Needs permission to type (see below)", AppState::idle, true, wayland), "Ready");
}

}  // namespace
}  // namespace quorvel
