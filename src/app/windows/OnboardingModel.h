// The first-run steps: welcome, the microphone, the keys (accessibility on
// X11, the keyboard devices on Wayland), the one-time model download, and a
// box to try a dictation in. The step machine and every text that depends on
// the application's state live here; the Qt window draws them.
//
// Threading: main thread only. Timers run on the main loop given.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/windows/DashboardBridge.h"
#include "app/windows/DashboardTexts.h"
#include "app/core/MainLoop.h"
#include "support/UserDefaults.h"

namespace quorvel {

enum class OnboardingStep { welcome, microphone, accessibility, ready, tryIt };
inline constexpr std::array<OnboardingStep, 5> allOnboardingSteps = {
    OnboardingStep::welcome, OnboardingStep::microphone, OnboardingStep::accessibility,
    OnboardingStep::ready, OnboardingStep::tryIt};
// "welcome", "microphone", "accessibility", "ready", "tryIt".
std::string_view stepName(OnboardingStep step);

class OnboardingModel {
 public:
  // REQUIRES: loop outlives the model.
  OnboardingModel(SharedBridge bridge, MainLoop& loop);
  ~OnboardingModel();
  OnboardingModel(const OnboardingModel&) = delete;
  OnboardingModel& operator=(const OnboardingModel&) = delete;

  OnboardingStep step() const { return step_; }
  std::string tryText;              // the try-it box
  bool askedAccessibility = false;  // sent to switch the keys on, not yet back
  bool askedTyping = false;         // the desktop's typing dialog was asked for
  bool micDenied = false;           // the microphone was refused; the explanation shows
  bool splash = true;               // the intro splash is showing
  // Whether the download step is part of the sequence (decided at creation).
  bool includeReady = false;
  bool leavingReady = false;  // the move on from the download step is scheduled

  std::function<void()> onFinish;      // the last step was passed
  std::function<void()> bringToFront;  // the window comes back to the front
  std::function<void()> onChange;      // the step or a flag changed: redraw

  DashboardBridge& bridge() const { return *bridge_; }
  std::vector<OnboardingStep> steps() const;
  // Index of the step in steps(); 0 when it is not among them.
  int position() const;
  bool micAllowed() const { return bridge_->micStatus() == MicStatus::authorised; }
  bool axAllowed() const { return bridge_->trusted(); }
  // On Wayland, the keyboard devices' one-time step is still to be taken.
  bool needsInputAccess() const;
  // Typing goes through the desktop's portal, which has not said yes yet
  // (and nothing else is missing).
  bool needsTypingConsent() const;
  SetupInfo setup() const { return bridge_->setup(); }

  // Back to the welcome step with an empty box and the splash; pending moves
  // are cancelled.
  void restart();
  void go(OnboardingStep step);
  void next();
  // The step before, passing over the download step once the models are ready.
  void back();
  void askMicrophone();
  void askAccessibility();
  // Opens the desktop's dialog that lets Quorvel type (in the background).
  void allowTyping();
  // Every 0.5 s while the window shows: notices permissions granted outside
  // the window and the end of the download.
  void everyTick();

  struct PrimaryButton {
    enum class Action { next, askMicrophone, askAccessibility, allowTyping, retrySetup };
    std::string title;
    bool enabled = true;
    Action action = Action::next;
  };
  PrimaryButton primaryButton() const;
  void pressPrimary();

  // --- Texts that follow the state ----------------------------------------------
  struct Line {
    std::string text;
    Tone tone = Tone::ink;
  };
  // The accessibility step: the explanation and the line under the picture.
  std::string accessibilityBody() const;
  Line accessibilityHint() const;
  // The download step's line: progress, starting or the failure.
  Line readyLine() const;
  // The try-it step.
  bool tried() const;  // the box holds text and nothing is running
  std::string tryTitle() const;
  Line tryStatus() const;
  // The closing words under the box ("Quorvel typed that…"): once words are
  // in the box and no dictation is listening or writing.
  bool typedNoteShown() const;

 private:
  void changed();
  // Moves on after a delay, unless the user has moved by then.
  void nextLater(Seconds delay, OnboardingStep from);

  SharedBridge bridge_;
  MainLoop& loop_;
  OnboardingStep step_ = OnboardingStep::welcome;
  MainLoop::TimerId pending_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Onboarding was finished once (Settings::dashboardSeen): launches show the
// dashboard from then on.
bool onboardingFinished(const UserDefaults& defaults);
// The same, but while the settings hold no record of it either way (a damaged
// settings file was set aside), what is on disk decides: setUpBefore().
bool onboardingFinished(const UserDefaults& defaults, const std::function<bool()>& setUpBefore);
// Whether this user set Quorvel up before, judged from disk: no model is
// missing and the history holds a line.
bool setUpBefore(bool modelsMissing, const fs::path& history);
void markOnboardingFinished(UserDefaults& defaults);

// The demonstration card's fixed content: the said words (dropped ones struck)
// and the clean sentence.
struct DemoWord {
  std::string_view word;
  bool dropped;
};
inline constexpr std::array<DemoWord, 13> kDemoSaid = {{
    {"Um,", true}, {"so", true}, {"can", false}, {"you", false}, {"send", false},
    {"me", false}, {"the", false}, {"file", false}, {"by", false}, {"Friday,", true},
    {"no", true}, {"actually", true}, {"Thursday", false}}};
inline constexpr std::string_view kDemoTyped = "Can you send me the file by Thursday?";

}  // namespace quorvel
