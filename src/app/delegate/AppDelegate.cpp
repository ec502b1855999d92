// The application's launch, its tray and menu, and the state they show.
#include "app/delegate/AppDelegate.h"

#include <algorithm>

#include "app/desktop/DictationKeys.h"
#include "support/Log.h"
#include "support/Settings.h"
#include "support/UserDefaults.h"
#include "support/WriteProblems.h"

namespace quorvel {

AppDelegate::AppDelegate(ShellParts parts, ShellWindows windows, ShellTimings timings)
    : parts_(parts),
      windows_(std::move(windows)),
      timings_(timings),
      self_(std::make_shared<AppDelegate*>(this)) {}

AppDelegate::~AppDelegate() {
  WriteProblems::setListener(nullptr);
  parts_.keys.stop();
  parts_.loop.cancel(keyPoll_);
  parts_.loop.cancel(chunkTimer_);
  parts_.loop.cancel(trustTimer_);
  parts_.loop.cancel(serverTimer_);
  parts_.loop.cancel(announceTimer_);
  parts_.loop.cancel(learnTimer_);
  if (isRecording_) (void)parts_.recorder.stop();
}

void AppDelegate::launch(const std::vector<std::string>& args) {
  const auto has = [&args](const char* flag) { return std::find(args.begin(), args.end(), flag) != args.end(); };
  parts_.tag.setLevelSource([&recorder = parts_.recorder] { return recorder.level(); });
  {
    std::weak_ptr<AppDelegate*> self = self_;
    MainLoop& loop = parts_.loop;
    parts_.engine.setOnPartial([self, &loop](const std::string& text) {
      loop.post([self, text] {
        const auto alive = self.lock();
        if (alive && (*alive)->showsTag()) (*alive)->parts_.tag.setPreview(text);
      });
    });
  }
  {
    std::weak_ptr<AppDelegate*> self = self_;
    MainLoop& loop = parts_.loop;
    parts_.engine.setOnSpeechComeback([self, &loop] {
      loop.post([self] {
        if (const auto alive = self.lock()) (*alive)->speechComingBack();
      });
    });
  }
  {
    std::weak_ptr<AppDelegate*> self = self_;
    MainLoop& loop = parts_.loop;
    WriteProblems::setListener([self, &loop](const std::string& message) {
      loop.post([self, message] {
        if (const auto alive = self.lock()) (*alive)->writeFailed(message);
      });
    });
  }
  lastText_ = parts_.engine.lastDictation();
  parts_.engine.tidyRecordings();

  parts_.tray.onAction([this](MenuAction action) { menuAction(action); });
  parts_.tray.onMenuAboutToShow([this] { refresh(); });
  if (!parts_.tray.available()) {
    logLine("Quorvel: this desktop has no system tray; start quorvel again to open its window");
  }
  refresh();

  {
    // A text the paster accepted but could not type after all: said like a
    // failed paste, and kept for Copy Last Dictation the same way.
    std::weak_ptr<AppDelegate*> self = self_;
    MainLoop& loop = parts_.loop;
    parts_.paster.onLateFailure([self, &loop] {
      loop.post([self] {
        if (const auto alive = self.lock()) (*alive)->typingFailedLate();
      });
    });
  }

  {
    UserDefaults defaults;
    const bool altGr = parts_.isAltGr && parts_.isAltGr(keycode::rightAlt);
    if (pickFirstDictationKey(defaults, altGr) && altGr) {
      logLine("Quorvel: right Alt is AltGr in this keyboard layout, so right Ctrl is the dictation key");
    }
  }
  applyKeySettings();
  installMonitors();
  trusted_ = keysWork_ && parts_.desktop.isTrusted();
  (void)readInputAccess();
  refresh();
  trustTimer_ = parts_.loop.every(Seconds(timings_.trustCheck), [this] { checkTrust(); });

  const bool finished = windows_.onboardingFinished ? windows_.onboardingFinished() : true;
  if (!finished || has("--onboarding")) {
    const bool fromStart = has("--onboarding");
    parts_.loop.post([self = std::weak_ptr<AppDelegate*>(self_), fromStart] {
      if (const auto alive = self.lock(); alive && (*alive)->windows_.openOnboarding) {
        (*alive)->windows_.openOnboarding(fromStart);
      }
    });
  } else if (has("--show")) {
    parts_.loop.post([self = std::weak_ptr<AppDelegate*>(self_)] {
      if (const auto alive = self.lock()) (*alive)->call((*alive)->windows_.openDashboard);
    });
  }
  parts_.engine.killStale();
  runSetup();
  serverTimer_ = parts_.loop.every(Seconds(timings_.serverCheck), [this] { checkServers(); });
}

void AppDelegate::checkServers() {
  // Not while the setup or an upgrade starts the servers itself.
  if (!modelsReady_ || checkingServers_) return;
  checkingServers_ = true;
  AppEngine& engine = parts_.engine;
  MainLoop& loop = parts_.loop;
  parts_.runner.run([&engine, &loop, self = std::weak_ptr<AppDelegate*>(self_)] {
    (void)engine.restartExitedServers();
    loop.post([self] {
      if (const auto alive = self.lock()) (*alive)->checkingServers_ = false;
    });
  });
}

void AppDelegate::terminate() {
  parts_.loop.cancel(serverTimer_);
  serverTimer_ = 0;
  if (isRecording_) {
    isRecording_ = false;
    (void)parts_.recorder.stop();
  }
  parts_.engine.stopAll();
}

void AppDelegate::reopen() {
  const bool finished = windows_.onboardingFinished ? windows_.onboardingFinished() : true;
  if (finished) {
    call(windows_.openDashboard);
  } else if (windows_.openOnboarding) {
    windows_.openOnboarding(false);
  }
}

bool AppDelegate::showsTag() const { return Settings::showTag.read(); }

void AppDelegate::showMiss(const std::string& text, double hideAfter) {
  // Failures show even with the tag switched off: they need reading.
  parts_.tag.show(TagMode::failed, text);
  parts_.tag.hide(hideAfter);
}

void AppDelegate::syncState() {
  const AppState next = isRecording_       ? AppState::recording
                        : processing_ > 0  ? AppState::processing
                        : modelsReady_     ? AppState::idle
                                           : AppState::starting;
  if (next == state_) return;
  state_ = next;
  refresh();
}

StatusFacts AppDelegate::statusFacts() const {
  StatusFacts facts;
  facts.state = state_;
  facts.setup = setup_;
  facts.updatePending = updatePending_;
  facts.trusted = trusted_;
  facts.statusLine = statusLine_;
  facts.lastText = lastText_;
  facts.canRetry = retry_.has_value();
  facts.keys = binding_;
  return facts;
}

bool AppDelegate::readInputAccess() {
  const InputAccess now = parts_.inputAccess ? parts_.inputAccess() : InputAccess{};
  if (now == inputAccess_) return false;
  inputAccess_ = now;
  return true;
}

void AppDelegate::typingFailedLate() {
  statusLine_ = "Couldn't type the dictation: use Copy Last Dictation";
  if (!isRecording_) showMiss("Couldn't type it. Use Copy Last Dictation in the menu.");
  refresh();
}

void AppDelegate::refresh() {
  statusLine_ = refreshedStatusLine(statusLine_, state_, trusted_, inputAccess_);
  const StatusFacts facts = statusFacts();
  parts_.tray.show(trayLook(facts), statusMenu(facts));
}

SharedBridge AppDelegate::makeBridge() {
  auto bridge = std::make_shared<DashboardBridge>();
  std::weak_ptr<AppDelegate*> weak = self_;
  const auto with = [weak](auto read, auto fallback) {
    return [weak, read, fallback] {
      const auto alive = weak.lock();
      return alive ? read(**alive) : fallback;
    };
  };
  bridge->setup = with([](AppDelegate& app) { return app.setup_; }, SetupInfo());
  bridge->retrySetup = [weak] {
    if (const auto alive = weak.lock()) (*alive)->runSetup();
  };
  bridge->status = with([](AppDelegate& app) { return app.statusLine_; }, std::string("Ready"));
  bridge->state = with([](AppDelegate& app) { return app.state_; }, AppState::idle);
  bridge->trusted = with([](AppDelegate& app) { return app.trusted_; }, false);
  if (parts_.inputAccess) {
    bridge->inputAccess = with([](AppDelegate& app) { return app.inputAccess_; }, InputAccess());
    bridge->wayland = with([](AppDelegate& app) { return app.inputAccess_.wayland; }, false);
  }
  bridge->noteKeyPressed = with(
      [](AppDelegate& app) {
        const double since = std::chrono::duration<double>(app.parts_.loop.now() - app.noteKeyPressedAt_).count();
        return app.noteKeyDown_ || since < 0.25;
      },
      false);
  bridge->needsDownload =
      with([](AppDelegate& app) { return app.setup_.phase == SetupInfo::Phase::downloading; }, false);
  bridge->keys = with([](AppDelegate& app) { return app.binding_; }, KeyBinding());
  bridge->chooseKey = [weak](ShellKey part, int code) {
    const auto alive = weak.lock();
    if (!alive) return false;
    UserDefaults defaults;
    if (!storeKey(defaults, part, code)) return false;
    (*alive)->applyKeySettings();
    (*alive)->refresh();
    return true;
  };
  bridge->learnKey = [weak](std::function<void(int)> done) {
    if (const auto alive = weak.lock()) {
      (*alive)->learnKey(std::move(done));
    } else if (done) {
      done(0);
    }
  };
  if (parts_.isAltGr) bridge->keyIsAltGr = parts_.isAltGr;
  bridge->speechModels = with([](AppDelegate& app) { return app.speechModels(); }, std::vector<SpeechModelRow>());
  bridge->speechSwitch = with([](AppDelegate& app) { return app.speechSwitch(); }, SpeechSwitch());
  bridge->chooseSpeechModel = [weak](const std::string& file) {
    if (const auto alive = weak.lock()) (*alive)->chooseSpeechModel(file);
  };
  bridge->deleteSpeechModel = [weak](const std::string& file) {
    const auto alive = weak.lock();
    return alive && (*alive)->deleteSpeechModel(file);
  };
  return bridge;
}

void AppDelegate::setUpdatePending(bool pending) {
  updatePending_ = pending;
  refresh();
}

void AppDelegate::copyLast() {
  if (lastText_.empty()) return;
  if (!parts_.paster.copy(lastText_)) logLine("Quorvel: could not put the last dictation on the clipboard");
}

void AppDelegate::menuAction(MenuAction action) {
  switch (action) {
    case MenuAction::openDashboard:
      reopen();
      break;
    case MenuAction::openNote:
      parts_.note.captureSource();
      parts_.note.show();
      break;
    case MenuAction::copyLast:
      copyLast();
      break;
    case MenuAction::retryLast:
      retryLast();
      break;
    case MenuAction::showUpdate:
      call(windows_.showUpdate);
      break;
    case MenuAction::openOnboarding:
      if (windows_.openOnboarding) windows_.openOnboarding(true);
      break;
    case MenuAction::quit:
      call(windows_.quit);
      break;
    case MenuAction::none:
      break;
  }
}

}  // namespace quorvel
