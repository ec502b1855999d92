// The onboarding step machine and its texts.
#include "app/windows/OnboardingModel.h"

#include <algorithm>

#include "app/desktop/DictationKeys.h"
#include "support/Settings.h"
#include "text/Unicode.h"

namespace quorvel {
namespace {

constexpr std::array<std::string_view, 5> kStepNames = {"welcome", "microphone", "accessibility", "ready",
                                                        "tryIt"};
constexpr double kAfterAccessibilitySeconds = 0.6;
constexpr double kAfterReadySeconds = 1.4;

bool blank(const std::string& text) {
  return unicode::trimWhitespaceAndLineBreaks(unicode::fromUtf8(text)).isEmpty();
}

}  // namespace

std::string_view stepName(OnboardingStep step) { return kStepNames[static_cast<size_t>(step)]; }

bool onboardingFinished(const UserDefaults& defaults) { return Settings::dashboardSeen.read(defaults); }

bool onboardingFinished(const UserDefaults& defaults, const std::function<bool()>& setUpBefore) {
  if (const auto stored = defaults.boolValue(Settings::dashboardSeen.key)) return *stored;
  return setUpBefore && setUpBefore();
}

bool setUpBefore(bool modelsMissing, const fs::path& history) {
  if (modelsMissing) return false;
  const auto text = readWholeFile(history);
  return text && text->find_first_not_of(" \t\r\n") != std::string::npos;
}

void markOnboardingFinished(UserDefaults& defaults) { (void)Settings::dashboardSeen.write(defaults, true); }

OnboardingModel::OnboardingModel(SharedBridge bridge, MainLoop& loop)
    : bridge_(bridge ? std::move(bridge) : std::make_shared<DashboardBridge>()), loop_(loop) {
  includeReady = bridge_->needsDownload();
}

OnboardingModel::~OnboardingModel() {
  alive_.reset();
  loop_.cancel(pending_);
}

std::vector<OnboardingStep> OnboardingModel::steps() const {
  std::vector<OnboardingStep> list;
  for (OnboardingStep step : allOnboardingSteps) {
    if (step != OnboardingStep::ready || includeReady) list.push_back(step);
  }
  return list;
}

int OnboardingModel::position() const {
  const auto list = steps();
  const auto found = std::find(list.begin(), list.end(), step_);
  return found == list.end() ? 0 : static_cast<int>(found - list.begin());
}

void OnboardingModel::changed() {
  if (onChange) onChange();
}

void OnboardingModel::restart() {
  loop_.cancel(pending_);
  pending_ = 0;
  step_ = OnboardingStep::welcome;
  tryText.clear();
  splash = true;
  askedAccessibility = false;
  askedTyping = false;
  micDenied = false;
  leavingReady = false;
  changed();
}

void OnboardingModel::go(OnboardingStep step) {
  step_ = step;
  changed();
}

void OnboardingModel::next() {
  const auto list = steps();
  const auto found = std::find(list.begin(), list.end(), step_);
  if (found != list.end() && found + 1 != list.end()) {
    go(*(found + 1));
    return;
  }
  if (found == list.end()) {
    // A step outside the sequence (the download step after it was left out):
    // on to the first listed step after it.
    for (OnboardingStep step : list) {
      if (step > step_) {
        go(step);
        return;
      }
    }
  }
  if (onFinish) onFinish();
}

void OnboardingModel::back() {
  const auto list = steps();
  const auto found = std::find(list.begin(), list.end(), step_);
  if (found == list.end() || found == list.begin()) return;
  auto previous = found - 1;
  if (*previous == OnboardingStep::ready && setup().phase == SetupInfo::Phase::ready) {
    if (previous == list.begin()) return;
    --previous;
  }
  go(*previous);
}

void OnboardingModel::nextLater(Seconds delay, OnboardingStep from) {
  loop_.cancel(pending_);
  std::weak_ptr<bool> alive = alive_;
  pending_ = loop_.after(delay, [this, alive, from] {
    if (!alive.lock()) return;
    pending_ = 0;
    // The user may have moved on by hand meanwhile; never skip a step for them.
    if (step_ == from) next();
  });
}

void OnboardingModel::askMicrophone() {
  switch (bridge_->micStatus()) {
    case MicStatus::authorised:
      next();
      return;
    case MicStatus::notDetermined: {
      std::weak_ptr<bool> alive = alive_;
      auto answer = [this, alive](bool granted) {
        if (!alive.lock()) return;
        micDenied = !granted;
        if (granted && step_ == OnboardingStep::microphone) {
          next();
        } else {
          changed();
        }
      };
      if (bridge_->requestMicrophone) {
        bridge_->requestMicrophone(answer);
      } else {
        answer(false);
      }
      return;
    }
    case MicStatus::denied:
    case MicStatus::restricted:
      micDenied = true;
      if (bridge_->openSoundSettings) bridge_->openSoundSettings();
      changed();
      return;
  }
}

void OnboardingModel::askAccessibility() {
  askedAccessibility = true;
  // The keyboard devices' step can't be taken from here: the window copies
  // the command, and the keys work after the next login.
  if (!needsInputAccess() && bridge_->enableAccessibility) bridge_->enableAccessibility();
  changed();
}

void OnboardingModel::allowTyping() {
  askedTyping = true;
  if (bridge_->allowTyping) bridge_->allowTyping();
  changed();
}

void OnboardingModel::everyTick() {
  switch (step_) {
    case OnboardingStep::microphone:
      if (micAllowed() && micDenied) {
        micDenied = false;
        next();
      }
      return;
    case OnboardingStep::accessibility:
      if (askedTyping && !needsTypingConsent() && axAllowed()) {
        askedTyping = false;
        if (bringToFront) bringToFront();
        nextLater(Seconds(kAfterAccessibilitySeconds), OnboardingStep::accessibility);
        changed();
        return;
      }
      if (axAllowed() && askedAccessibility) {
        askedAccessibility = false;
        if (bringToFront) bringToFront();
        nextLater(Seconds(kAfterAccessibilitySeconds), OnboardingStep::accessibility);
        changed();
      }
      return;
    case OnboardingStep::ready:
      if (setup().phase == SetupInfo::Phase::ready && !leavingReady) {
        leavingReady = true;
        nextLater(Seconds(kAfterReadySeconds), OnboardingStep::ready);
        changed();
      }
      return;
    default:
      return;
  }
}

OnboardingModel::PrimaryButton OnboardingModel::primaryButton() const {
  using Action = PrimaryButton::Action;
  switch (step_) {
    case OnboardingStep::welcome:
      return {"Get Started", true, Action::next};
    case OnboardingStep::microphone:
      switch (bridge_->micStatus()) {
        case MicStatus::authorised: return {"Continue", true, Action::next};
        case MicStatus::notDetermined: return {"Allow Microphone", true, Action::askMicrophone};
        default: return {"Open Sound Settings", true, Action::askMicrophone};
      }
    case OnboardingStep::accessibility:
      if (needsTypingConsent()) return {"Allow Typing", true, Action::allowTyping};
      if (axAllowed()) return {"Continue", true, Action::next};
      if (needsInputAccess()) return {"Copy Command", true, Action::askAccessibility};
      return {"Allow Accessibility", true, Action::askAccessibility};
    case OnboardingStep::ready: {
      const SetupInfo::Phase phase = setup().phase;
      if (phase == SetupInfo::Phase::failed) return {"Try Again", true, Action::retrySetup};
      if (phase == SetupInfo::Phase::ready) return {"Continue", true, Action::next};
      return {"Getting ready…", false, Action::next};
    }
    case OnboardingStep::tryIt:
      return {"Open Quorvel", true, Action::next};
  }
  return {"Continue", true, Action::next};
}

void OnboardingModel::pressPrimary() {
  const PrimaryButton button = primaryButton();
  if (!button.enabled) return;
  switch (button.action) {
    case PrimaryButton::Action::next: next(); return;
    case PrimaryButton::Action::askMicrophone: askMicrophone(); return;
    case PrimaryButton::Action::askAccessibility: askAccessibility(); return;
    case PrimaryButton::Action::allowTyping: allowTyping(); return;
    case PrimaryButton::Action::retrySetup:
      if (bridge_->retrySetup) bridge_->retrySetup();
      changed();
      return;
  }
}

std::string OnboardingModel::accessibilityBody() const {
  if (needsTypingConsent()) {
    return "Your desktop lets Quorvel type where your cursor is once you allow it in the desktop's own dialog. "
           "It asks only once.";
  }
  if (needsInputAccess()) {
    return "On Wayland, Quorvel hears the " + dictationKeyName() + " key by reading the keyboard itself, and types through a "
           "virtual keyboard. Your account needs to be in the input group, once.";
  }
  return "Linux calls this accessibility. It lets Quorvel notice the " + dictationKeyName() + " key and type where your "
         "cursor is.";
}

OnboardingModel::Line OnboardingModel::accessibilityHint() const {
  if (needsTypingConsent()) {
    const TypingConsent consent = bridge_->inputAccess().typingConsent;
    if (askedTyping && consent == TypingConsent::notAsked) {
      return {"Confirm in your desktop's dialog. This window moves on by itself.", Tone::ink};
    }
    if (consent == TypingConsent::refused || consent == TypingConsent::revoked) {
      return {typingConsentDetail(consent), Tone::rec};
    }
    return {"Click Allow Typing, then confirm in your desktop's dialog.", Tone::mute};
  }
  if (axAllowed()) return {"Done. Quorvel can hear the " + dictationKeyName() + " key.", Tone::accent};
  if (needsInputAccess()) {
    const InputAccess access = bridge_->inputAccess();
    if (access.loginPending && !access.ruleMissing) {
      return {"Your account is in the input group now. Log out and back in, and Quorvel picks it up by itself.",
              Tone::ink};
    }
    if (askedAccessibility) {
      return {"Copied. Paste it into a terminal, then log out and back in. Quorvel picks it up by itself.",
              Tone::ink};
    }
    return {"Click Copy Command, run it in a terminal, then log out and back in.", Tone::mute};
  }
  if (askedAccessibility) return {"Switching it on. This window moves on by itself.", Tone::ink};
  return {"Click Allow Accessibility to switch it on for your desktop.", Tone::mute};
}

bool OnboardingModel::needsInputAccess() const { return !bridge_->inputAccess().complete(); }

bool OnboardingModel::needsTypingConsent() const {
  const InputAccess access = bridge_->inputAccess();
  return access.wayland && access.readKeyboard && access.virtualKeyboard && access.typingAsk();
}

OnboardingModel::Line OnboardingModel::readyLine() const {
  const SetupInfo info = setup();
  switch (info.phase) {
    case SetupInfo::Phase::downloading: return {downloadLine(info, Wording::onboarding), Tone::mute};
    case SetupInfo::Phase::starting: return {"Starting the models on this computer…", Tone::mute};
    case SetupInfo::Phase::failed:
      return {info.message.empty() ? "Check your internet connection, then try again." : info.message, Tone::rec};
    case SetupInfo::Phase::ready: return {"Quorvel is ready.", Tone::accent};
  }
  return {};
}

bool OnboardingModel::tried() const { return !blank(tryText) && bridge_->state() == AppState::idle; }

std::string OnboardingModel::tryTitle() const { return tried() ? "That's it." : "Try it here."; }

bool OnboardingModel::typedNoteShown() const {
  const AppState state = bridge_->state();
  return !blank(tryText) && state != AppState::recording && state != AppState::processing;
}

OnboardingModel::Line OnboardingModel::tryStatus() const {
  const AppState state = bridge_->state();
  if (state == AppState::recording) return {"Listening · let go when you're done", Tone::rec};
  if (state == AppState::processing) return {"Writing it up", Tone::accent};
  if (!blank(tryText)) return {"Typed", Tone::accent};
  return {"Waiting for you", state == AppState::idle ? Tone::mute : Tone::ink};
}

}  // namespace quorvel
