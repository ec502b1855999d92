// The dashboard window over a data folder (offscreen): it shows the pages,
// follows the model's edits, and a long history and dictionary stay quick.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>

#include "FakeMainLoop.h"
#include "OffscreenApp.h"
#include "TestSupport.h"
#include "support/Json.h"
#include "ui/DashboardWindow.h"
#include "ui/OnboardingWindow.h"

namespace quorvel::ui {
namespace {

using quorvel::testing::FakeMainLoop;
using quorvel::testing::TempDir;
using quorvel::testing::writeTextFile;

// Lets posted work run: widgets made by a redraw are shown by a queued call.
void settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// Whether some label of the top-level windows shows exactly this text.
bool showsText(const QString& text) {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible()) continue;
    for (QLabel* label : window->findChildren<QLabel*>()) {
      if (label->isVisible() && label->text() == text) return true;
    }
  }
  return false;
}

class DashboardWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { quorvel::testing::offscreenApp(); }

  TempDir dir_;
  quorvel::testing::ScopedEnv xdg_{"XDG_CONFIG_HOME", (dir_ / "config").string()};
  FakeMainLoop loop_;
  DashboardSources sources_{dir_ / "dictations.jsonl", CleanupFiles{dir_ / "cleanup.json", std::nullopt}};

  void writeHistory(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      text += compactJson(Json{{"time", "2026-03-01T09:00:00Z"},
                               {"raw", "um entry " + std::to_string(i)},
                               {"final", "Entry " + std::to_string(i) + "."},
                               {"audio_s", 1.0}}) +
              "\n";
    }
    writeTextFile(sources_.history, text);
  }
  void writeWords(int count) {
    Json words = Json::array();
    for (int i = 0; i < count; ++i) words.push_back("Word" + std::to_string(i));
    writeTextFile(sources_.cleanup.user,
                  compactJson(Json{{"system", "x"}, {"dictionary", words}, {"examples", Json::array()}}));
  }
};

TEST_F(DashboardWindowTest, ShowsEachPageAndFollowsTheDictionary) {
  writeHistory(3);
  writeWords(2);
  DashboardController dashboard(std::make_shared<DashboardBridge>(), loop_, sources_);
  dashboard.show(Page::home);
  settle();
  EXPECT_TRUE(dashboard.isVisible());
  EXPECT_TRUE(showsText(QStringLiteral("Hold right Alt and talk.")));
  EXPECT_TRUE(showsText(QStringLiteral("Entry 2.")));
  dashboard.show(Page::dictionary);
  settle();
  EXPECT_TRUE(showsText(QStringLiteral("Word1")));
  dashboard.model().newWord = "Zanzibar";
  dashboard.model().addWord();
  settle();
  EXPECT_TRUE(showsText(QStringLiteral("Zanzibar")));
  dashboard.show(Page::history);
  settle();
  EXPECT_TRUE(showsText(QStringLiteral("Entry 0.")));
  EXPECT_TRUE(showsText(QStringLiteral("Sunday, March 1")));
  dashboard.close();
  EXPECT_FALSE(dashboard.isVisible());
}

TEST_F(DashboardWindowTest, ALongHistoryAndDictionaryShowInSteps) {
  writeHistory(20000);
  writeWords(5000);
  DashboardController dashboard(std::make_shared<DashboardBridge>(), loop_, sources_);
  QElapsedTimer clock;
  clock.start();
  dashboard.show(Page::history);
  settle();
  dashboard.show(Page::dictionary);
  settle();
  // Only the first rows are made; the rest come with "Show more".
  int buttons = 0;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
      if (button->isVisible() && button->text().startsWith(QStringLiteral("Show more"))) ++buttons;
    }
  }
  EXPECT_EQ(buttons, 1);
  EXPECT_FALSE(showsText(QStringLiteral("Word4999")));
  dashboard.close();
}

// The visible switch of the top-level windows with this accessible name.
QAbstractButton* visibleSwitch(const QString& name) {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible()) continue;
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
      if (button->isVisible() && button->accessibleName() == name) return button;
    }
  }
  return nullptr;
}

TEST_F(DashboardWindowTest, OpenAtLoginAsksTheApplicationAndShowsWhatHolds) {
  auto bridge = std::make_shared<DashboardBridge>();
  bool stored = false;
  bool writable = true;
  std::vector<bool> asked;
  bridge->openAtLogin = [&] { return stored; };
  bridge->setOpenAtLogin = [&](bool open) {
    asked.push_back(open);
    if (writable) stored = open;
    return writable;
  };
  DashboardController dashboard(bridge, loop_, sources_);
  dashboard.show(Page::settings);
  settle();
  EXPECT_TRUE(showsText(QStringLiteral("Quorvel starts in the tray when you log in.")));
  QAbstractButton* atLogin = visibleSwitch(QStringLiteral("Open at login"));
  ASSERT_NE(atLogin, nullptr);
  EXPECT_FALSE(atLogin->isChecked());

  atLogin->click();
  EXPECT_TRUE(atLogin->isChecked());
  EXPECT_TRUE(stored);

  // An autostart folder that cannot be written: the switch goes back.
  writable = false;
  atLogin->click();
  EXPECT_TRUE(atLogin->isChecked());
  EXPECT_TRUE(stored);
  EXPECT_EQ(asked, (std::vector<bool>{true, false}));
  dashboard.close();
}

TEST_F(DashboardWindowTest, ClosingOnboardingWithoutFinishingLeavesItNotDone) {
  auto bridge = std::make_shared<DashboardBridge>();
  OnboardingController onboarding(bridge, loop_);
  int closed = 0;
  int finished = 0;
  onboarding.onClose = [&] { ++closed; };
  onboarding.onFinished = [&] { ++finished; };
  onboarding.show(true);
  EXPECT_TRUE(onboarding.isVisible());
  onboarding.close();
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(OnboardingController::finished());
  onboarding.show(false);
  onboarding.model().go(OnboardingStep::tryIt);
  onboarding.model().next();  // "Open Quorvel"
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(onboarding.isVisible());
  EXPECT_TRUE(OnboardingController::finished());
}

}  // namespace
}  // namespace quorvel::ui
