// The onboarding steps: the sequence, going back, the automatic moves, the
// permission answers and the buttons.
#include <gtest/gtest.h>

#include "FakeMainLoop.h"
#include "TestSupport.h"
#include "app/windows/OnboardingModel.h"

namespace quorvel {
namespace {

using Step = OnboardingStep;
using testing::FakeMainLoop;

class OnboardingTest : public ::testing::Test {
 protected:
  FakeMainLoop loop_;
  SharedBridge bridge_ = std::make_shared<DashboardBridge>();
  SetupInfo setup_;
  MicStatus mic_ = MicStatus::notDetermined;
  bool trusted_ = false;
  bool wayland_ = false;
  AppState state_ = AppState::idle;
  int opened_ = 0;
  int enabled_ = 0;
  std::optional<std::function<void(bool)>> pendingAnswer_;

  void SetUp() override {
    bridge_->setup = [this] { return setup_; };
    bridge_->micStatus = [this] { return mic_; };
    bridge_->trusted = [this] { return trusted_; };
    bridge_->wayland = [this] { return wayland_; };
    bridge_->state = [this] { return state_; };
    bridge_->openSoundSettings = [this] { return ++opened_ > 0; };
    bridge_->enableAccessibility = [this] { return ++enabled_ > 0; };
    bridge_->requestMicrophone = [this](std::function<void(bool)> answer) { pendingAnswer_ = answer; };
  }

  std::unique_ptr<OnboardingModel> make(bool needsDownload) {
    bridge_->needsDownload = [needsDownload] { return needsDownload; };
    return std::make_unique<OnboardingModel>(bridge_, loop_);
  }
};

TEST_F(OnboardingTest, WithEveryModelPresentThereAreFourSteps) {
  auto model = make(false);
  EXPECT_EQ(model->steps(), (std::vector<Step>{Step::welcome, Step::microphone, Step::accessibility, Step::tryIt}));
  int finished = 0;
  model->onFinish = [&] { ++finished; };
  std::vector<Step> seen = {model->step()};
  for (int i = 0; i < 3; ++i) {
    model->next();
    seen.push_back(model->step());
  }
  EXPECT_EQ(seen, model->steps());
  EXPECT_EQ(finished, 0);
  model->next();
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(make(true)->steps().size(), 5u);
}

TEST_F(OnboardingTest, BackFromTryItSkipsTheDownloadOnceTheModelsAreReady) {
  auto model = make(true);
  model->go(Step::tryIt);
  setup_.phase = SetupInfo::Phase::downloading;
  model->back();
  EXPECT_EQ(model->step(), Step::ready);
  model->go(Step::tryIt);
  setup_.phase = SetupInfo::Phase::ready;
  model->back();
  EXPECT_EQ(model->step(), Step::accessibility);
  model->back();
  model->back();
  EXPECT_EQ(model->step(), Step::welcome);
  model->back();
  EXPECT_EQ(model->step(), Step::welcome);
}

TEST_F(OnboardingTest, GrantedAccessibilityBringsTheWindowBackAndMovesOnOnce) {
  auto model = make(false);
  int fronts = 0;
  model->bringToFront = [&] { ++fronts; };
  model->go(Step::accessibility);
  model->pressPrimary();  // "Allow Accessibility"
  EXPECT_EQ(enabled_, 1);
  EXPECT_TRUE(model->askedAccessibility);
  model->everyTick();  // not yet trusted
  EXPECT_EQ(fronts, 0);
  trusted_ = true;
  for (int i = 0; i < 2; ++i) {
    model->everyTick();
    loop_.advance(Seconds(0.25));
  }
  EXPECT_EQ(fronts, 1);
  EXPECT_EQ(model->step(), Step::accessibility);  // 0.5 s passed
  loop_.advance(Seconds(0.2));
  EXPECT_EQ(model->step(), Step::tryIt);
  loop_.advance(Seconds(5));
  EXPECT_EQ(model->step(), Step::tryIt);
}

TEST_F(OnboardingTest, TheDelayedMoveNeverSkipsAStepTheUserAlreadyLeft) {
  auto model = make(true);
  model->go(Step::accessibility);
  model->askAccessibility();
  trusted_ = true;
  model->everyTick();
  model->pressPrimary();  // "Continue" before the 0.6 s are up
  EXPECT_EQ(model->step(), Step::ready);
  loop_.advance(Seconds(1));
  EXPECT_EQ(model->step(), Step::ready);
}

TEST_F(OnboardingTest, TheDownloadStepMovesOn1point4SecondsAfterTheModelsAreReady) {
  auto model = make(true);
  model->go(Step::ready);
  setup_.phase = SetupInfo::Phase::downloading;
  EXPECT_FALSE(model->primaryButton().enabled);
  EXPECT_EQ(model->primaryButton().title, "Getting ready…");
  model->everyTick();
  setup_.phase = SetupInfo::Phase::ready;
  model->everyTick();
  model->everyTick();
  EXPECT_TRUE(model->leavingReady);
  loop_.advance(Seconds(1.3));
  EXPECT_EQ(model->step(), Step::ready);
  loop_.advance(Seconds(0.2));
  EXPECT_EQ(model->step(), Step::tryIt);
}

TEST_F(OnboardingTest, ADeniedMicrophoneStaysWithTheExplanation) {
  auto model = make(false);
  model->go(Step::microphone);
  EXPECT_EQ(model->primaryButton().title, "Allow Microphone");
  model->pressPrimary();
  ASSERT_TRUE(pendingAnswer_.has_value());
  (*pendingAnswer_)(false);
  EXPECT_EQ(model->step(), Step::microphone);
  EXPECT_TRUE(model->micDenied);

  mic_ = MicStatus::denied;
  EXPECT_EQ(model->primaryButton().title, "Open Sound Settings");
  model->pressPrimary();
  EXPECT_EQ(opened_, 1);
  EXPECT_EQ(model->step(), Step::microphone);
  // Coming back with the microphone working moves on by itself.
  mic_ = MicStatus::authorised;
  model->everyTick();
  EXPECT_EQ(model->step(), Step::accessibility);
  EXPECT_FALSE(model->micDenied);
}

TEST_F(OnboardingTest, AGrantedMicrophoneMovesOn) {
  auto model = make(false);
  model->go(Step::microphone);
  model->askMicrophone();
  (*pendingAnswer_)(true);
  EXPECT_EQ(model->step(), Step::accessibility);
  // An answer arriving after the model is gone does nothing.
  model->go(Step::microphone);
  model->askMicrophone();
  model.reset();
  (*pendingAnswer_)(true);
}

TEST_F(OnboardingTest, PrimaryButtons) {
  auto model = make(true);
  EXPECT_EQ(model->primaryButton().title, "Get Started");
  model->go(Step::microphone);
  mic_ = MicStatus::authorised;
  EXPECT_EQ(model->primaryButton().title, "Continue");
  model->go(Step::accessibility);
  EXPECT_EQ(model->primaryButton().title, "Allow Accessibility");
  wayland_ = true;
  EXPECT_EQ(model->primaryButton().title, "Copy Command");
  model->askAccessibility();
  EXPECT_EQ(enabled_, 0);  // nothing to switch on for the keyboard devices
  EXPECT_NE(model->accessibilityHint().text.find("log out and back in"), std::string::npos);
  // The devices are readable; only the accessibility switch is off.
  bridge_->inputAccess = [] { return InputAccess{true, true, true, false, false}; };
  EXPECT_EQ(model->primaryButton().title, "Allow Accessibility");
  model->askAccessibility();
  EXPECT_EQ(enabled_, 1);
  trusted_ = true;
  EXPECT_EQ(model->primaryButton().title, "Continue");
  // Typing through the desktop's portal: its dialog is asked for from here,
  // and the step moves on once the desktop said yes.
  auto consent = std::make_shared<TypingConsent>(TypingConsent::notAsked);
  bridge_->inputAccess = [consent] {
    InputAccess access{true, true, true, false, false};
    access.typing = TypingPath::remoteDesktop;
    access.typingConsent = *consent;
    return access;
  };
  int asked = 0;
  bridge_->allowTyping = [&asked] { ++asked; };
  EXPECT_EQ(model->primaryButton().title, "Allow Typing");
  model->pressPrimary();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(model->accessibilityHint().text, "Confirm in your desktop's dialog. This window moves on by itself.");
  *consent = TypingConsent::refused;
  EXPECT_EQ(model->accessibilityHint().text, typingConsentDetail(TypingConsent::refused));
  *consent = TypingConsent::given;
  EXPECT_EQ(model->primaryButton().title, "Continue");
  model->go(Step::ready);
  setup_.phase = SetupInfo::Phase::failed;
  int retries = 0;
  bridge_->retrySetup = [&] { ++retries; };
  EXPECT_EQ(model->primaryButton().title, "Try Again");
  model->pressPrimary();
  EXPECT_EQ(retries, 1);
  model->go(Step::tryIt);
  EXPECT_EQ(model->primaryButton().title, "Open Quorvel");
}

TEST_F(OnboardingTest, TheTryBoxFollowsTheDictation) {
  auto model = make(false);
  model->go(Step::tryIt);
  EXPECT_EQ(model->tryTitle(), "Try it here.");
  EXPECT_EQ(model->tryStatus().text, "Waiting for you");
  EXPECT_EQ(model->tryStatus().tone, Tone::mute);
  state_ = AppState::recording;
  EXPECT_EQ(model->tryStatus().text, "Listening · let go when you're done");
  state_ = AppState::processing;
  EXPECT_EQ(model->tryStatus().text, "Writing it up");
  model->tryText = "Can you send me the file by Thursday?";
  EXPECT_EQ(model->tryTitle(), "Try it here.");  // still writing
  state_ = AppState::idle;
  EXPECT_EQ(model->tryTitle(), "That's it.");
  EXPECT_EQ(model->tryStatus().text, "Typed");
  model->tryText = " \n";
  EXPECT_EQ(model->tryTitle(), "Try it here.");
}

TEST_F(OnboardingTest, TheTypedNoteWaitsForWordsAndForTheDictationToEnd) {
  auto model = make(false);
  model->go(Step::tryIt);
  struct Case {
    std::string text;
    AppState state;
    bool shown;
  };
  const Case cases[] = {
      {"", AppState::idle, false},
      {" \n", AppState::idle, false},
      {"Typed it.", AppState::recording, false},
      {"Typed it.", AppState::processing, false},
      {"Typed it.", AppState::idle, true},
      {"Typed it.", AppState::starting, true},
  };
  for (const Case& c : cases) {
    model->tryText = c.text;
    state_ = c.state;
    EXPECT_EQ(model->typedNoteShown(), c.shown) << '"' << c.text << "\" while " << static_cast<int>(c.state);
  }
}

TEST_F(OnboardingTest, RestartGoesBackToTheSplashWithAnEmptyBox) {
  auto model = make(true);
  model->splash = false;
  model->go(Step::ready);
  model->tryText = "text";
  setup_.phase = SetupInfo::Phase::ready;
  model->everyTick();
  model->restart();
  EXPECT_EQ(model->step(), Step::welcome);
  EXPECT_TRUE(model->splash);
  EXPECT_EQ(model->tryText, "");
  loop_.advance(Seconds(3));
  EXPECT_EQ(model->step(), Step::welcome);  // the pending move was cancelled
}

TEST(OnboardingFinished, OnlyFinishingMarksIt) {
  testing::TempDir home;
  UserDefaults defaults(home / "defaults.json");
  EXPECT_FALSE(onboardingFinished(defaults));
  markOnboardingFinished(defaults);
  EXPECT_TRUE(onboardingFinished(defaults));
  EXPECT_EQ(defaults.boolValue("dashboardSeen"), true);
}

TEST(OnboardingFinished, WithoutARecordWhatIsOnDiskDecides) {
  testing::TempDir home;
  UserDefaults defaults(home / "defaults.json");
  const fs::path history = home / "dictations.jsonl";
  EXPECT_FALSE(setUpBefore(false, history));  // no history yet
  testing::writeTextFile(history, "\n");
  EXPECT_FALSE(setUpBefore(false, history));
  testing::writeTextFile(history, "{\"time\": \"2026-03-01T09:15:02Z\"}\n");
  EXPECT_FALSE(setUpBefore(true, history));  // a model is missing
  EXPECT_TRUE(setUpBefore(false, history));

  // The settings lost their record (a damaged file set aside): the disk says.
  EXPECT_TRUE(onboardingFinished(defaults, [] { return true; }));
  EXPECT_FALSE(onboardingFinished(defaults, [] { return false; }));
  // A record either way wins.
  ASSERT_TRUE(defaults.set("dashboardSeen", Json(false)).ok());
  EXPECT_FALSE(onboardingFinished(defaults, [] { return true; }));
  markOnboardingFinished(defaults);
  EXPECT_TRUE(onboardingFinished(defaults, [] { return false; }));
}

}  // namespace
}  // namespace quorvel
