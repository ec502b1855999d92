// The application's logic from launch to quit: the hold-to-talk recording
// control with its key poll and chunking timer, the stop path with its checks
// and messages, deliveries in the order of release, the delivery step that
// types the text or puts it into the note, the model setup and upgrade, and
// the tray's state. Plain C++: every outside thing is an interface handed in
// (ShellParts), so tests run it on a fake main loop whose clock they advance.
//
// Ownership: the parts and windows must outlive the delegate. Background
// tasks capture only values and shared objects; what they post back is
// dropped once the delegate is gone.
//
// Threading: main thread only, except where a function says otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/models/AppEngine.h"
#include "app/windows/DashboardBridge.h"
#include "app/permissions/InputAccess.h"
#include "app/desktop/KeySource.h"
#include "app/core/MainLoop.h"
#include "app/desktop/NoteTarget.h"
#include "app/desktop/Paster.h"
#include "app/models/SetupInfo.h"
#include "app/models/SpeechModels.h"
#include "app/desktop/Sounds.h"
#include "app/tray/StatusMenu.h"
#include "app/tag/TagView.h"
#include "app/core/TaskRunner.h"
#include "app/tray/TrayView.h"
#include "audio/Chunker.h"
#include "audio/Recorder.h"
#include "learning/AccessibleElement.h"
#include "learning/EditWatcher.h"

namespace quorvel {

struct ShellParts {
  MainLoop& loop;
  KeySource& keys;
  Recorder& recorder;
  AccessibilityDesktop& desktop;
  Paster& paster;
  Sounds& sounds;
  TagView& tag;
  NoteTarget& note;
  TrayView& tray;
  AppEngine& engine;
  TaskRunner& runner;
  EditWatcher& watcher;
  // The Wayland permission step as it stands now (read every few seconds);
  // empty: nothing to grant (an X11 session, tests).
  std::function<InputAccess()> inputAccess = nullptr;
  // Whether a key (keycode::…) is AltGr in the keyboard layout in use now;
  // empty: never.
  std::function<bool(int code)> isAltGr = nullptr;
};

// The windows the delegate opens; any may be empty (nothing happens).
struct ShellWindows {
  std::function<void()> openDashboard;          // without changing its page
  std::function<void()> openDashboardHome;      // on its home page
  std::function<void(bool fromStart)> openOnboarding;
  std::function<bool()> onboardingFinished;
  std::function<void()> reloadDashboard;        // only acts while it is visible
  std::function<void()> showUpdate;
  std::function<void()> quit;
};

// The waits of the product; tests shorten them.
struct ShellTimings {
  double serverWait = 120;   // servers at setup and before a delivery
  double trustCheck = 2.0;   // the permission re-check
  double keyPoll = 0.05;
  double chunkTick = 0.25;
  double serverCheck = 1.0;  // looking for a model server that exited on its own
  // How long talk-ahead's worker waits for the main thread to read the field.
  std::chrono::milliseconds contextReadWait{1000};
};

enum class RecordingTarget { app, note };

class AppDelegate {
 public:
  AppDelegate(ShellParts parts, ShellWindows windows, ShellTimings timings = {});
  ~AppDelegate();
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // Steps of the launch that follow single instance, migration and placement:
  // the tray, the last text, permissions and keys, the windows the arguments
  // ask for, stale servers and the model setup.
  void launch(const std::vector<std::string>& args);
  // Before the process ends: the servers stop.
  void terminate();
  // A second start of the same program: the dashboard, or onboarding when it
  // has not been finished (not from the start).
  void reopen();

  // --- Keys and recording ---
  void handleKey(const KeyEvent& event);
  void pollKey();
  void installMonitors();
  void checkTrust();
  void checkServers();
  void startRecording(RecordingTarget target);
  void stopRecording();
  void toggleNote();
  RecordingTarget dictationTarget() const;
  // Reads the chosen keys from the user defaults and hands them to the key
  // source; called at launch and whenever the settings page changes them.
  void applyKeySettings();
  // The next key pressed (a key code) goes to done instead of dictating; 0
  // when the user pressed Esc or nothing came within ten seconds. A second
  // call replaces the first (which gets 0).
  void learnKey(std::function<void(int code)> done);
  bool handsFreeRecording() const { return handsFree_; }

  // --- Setup ---
  void runSetup();
  void downloadProgress(std::int64_t done, std::int64_t total);
  void upgradeModels(std::vector<ModelStore::Item> items);

  // --- The speech model (the settings page) ---
  // The offered models, which are here and which is in use.
  std::vector<SpeechModelRow> speechModels();
  const SpeechSwitch& speechSwitch() const { return speech_; }
  // Downloads the model when it is not here yet (with progress), then
  // switches the speech server to it once no dictation is under way. Nothing
  // happens while another switch runs or when it is already in use.
  void chooseSpeechModel(const std::string& file);
  // Deletes a downloaded model that is not in use; false when it is in use,
  // being switched to, or not one of the offered models.
  bool deleteSpeechModel(const std::string& file);

  // --- Tray and menu ---
  void syncState();
  void refresh();
  void menuAction(MenuAction action);
  void copyLast();
  // "Try Last Dictation Again": the last recording whose words could not be
  // had goes through the engine once more and is typed where the cursor is.
  void retryLast();
  bool canRetry() const { return retry_.has_value(); }
  void setUpdatePending(bool pending);

  // --- Read by tests and the windows ---
  AppState state() const { return state_; }
  bool isRecording() const { return isRecording_; }
  int processing() const { return processing_; }
  bool modelsReady() const { return modelsReady_; }
  bool trusted() const { return trusted_; }
  const InputAccess& inputAccess() const { return inputAccess_; }
  const SetupInfo& setup() const { return setup_; }
  const std::string& statusLine() const { return statusLine_; }
  const std::string& lastText() const { return lastText_; }
  StatusFacts statusFacts() const;
  // What the dashboard and onboarding windows read and ask of the
  // application; its closures hold the delegate weakly. The update closures
  // are left for the owner of the updater to fill in.
  SharedBridge makeBridge();

 private:
  // A recording whose words could not be had, kept to try again.
  struct Kept {
    SharedSamples samples;
    std::optional<std::string> recording;  // its WAV's file name
  };
  struct Delivered {
    DictationResult result;
    RecordingTarget target = RecordingTarget::app;
    std::uint64_t session = 0;
    std::optional<std::string> failure;  // why no words came
    Kept kept;                           // with a failure
  };
  // What a delivery task takes at the release: values only, no delegate.
  struct Release {
    std::uint64_t sequence = 0;
    bool modelsReady = false;
    std::shared_ptr<TranscriptChain> chain;
    bool quiet = false;
    std::chrono::steady_clock::time_point released;
    std::optional<TalkAheadHead> head;
    std::optional<CursorContext> context;  // for the model; none when not fitting
    DictationFacts facts;
    RecordingTarget target = RecordingTarget::app;
    std::uint64_t session = 0;
    // The recording itself, held until its words are out.
    SharedSamples samples;
  };

  bool showsTag() const;
  void showMiss(const std::string& text, double hideAfter = 2.4);
  void chunkTick();
  void dictationPressed();
  void dictationReleased();
  void finishLearning(int code);
  // Drops the recording under way without a trace: no sound, no tag, nothing
  // transcribed or logged (a character typed with AltGr held).
  void cancelRecording();
  // The start sound and the tag.
  void announceRecording();
  void startDelivery(Release release);
  void arrived(std::uint64_t sequence, Delivered delivered);
  void deliver(const Delivered& delivered);
  void deliverFailure(const Delivered& delivered);
  void speechComingBack();
  // A file of the user's could not be written: said in the status line now,
  // and again after the delivery in progress has said it was done.
  void writeFailed(const std::string& message);
  // Reads the permission step again; true when it changed.
  bool readInputAccess();
  void typingFailedLate();
  void finishSetup(bool ready, bool downloaded, std::vector<ModelStore::Item> upgrades);
  void swapWhenIdle(std::vector<ModelStore::Item> items);
  void finishUpgrade(bool ready);
  void switchSpeechWhenIdle(std::string file, std::string previous);
  // ready: the new model answered; working: some speech model did.
  void finishSpeechSwitch(bool ready, bool working, const std::string& file);
  void call(const std::function<void()>& window) const {
    if (window) window();
  }

  ShellParts parts_;
  ShellWindows windows_;
  const ShellTimings timings_;
  // Posted work checks this before touching the delegate.
  std::shared_ptr<AppDelegate*> self_;

  // The application's state.
  AppState state_ = AppState::starting;
  bool modelsReady_ = false;
  bool trusted_ = false;
  bool keysWork_ = false;
  bool keyProblemLogged_ = false;
  InputAccess inputAccess_;
  bool updatePending_ = false;
  SetupInfo setup_;
  std::optional<std::pair<Clock::time_point, std::int64_t>> downloadStarted_;
  std::string statusLine_ = kStartingLine;
  std::string lastText_;
  MainLoop::TimerId trustTimer_ = 0;
  MainLoop::TimerId serverTimer_ = 0;
  bool checkingServers_ = false;

  // Keys.
  MainLoop::TimerId keyPoll_ = 0;
  bool keyPollWorks_ = false;
  std::optional<Clock::time_point> noteKeyTap_;
  bool noteKeyDown_ = false;
  Clock::time_point noteKeyPressedAt_{};
  KeyBinding binding_;
  bool dictationIsAltGr_ = false;  // the dictation key is AltGr in the layout now
  bool dictationHeld_ = false;     // from the key events
  bool handsFree_ = false;         // a tap started this recording; the next press ends it
  bool waitForKeyUp_ = false;      // nothing starts until the dictation key is let go
  bool polledDown_ = false;        // the poll's last reading
  std::function<void(int)> learning_;
  MainLoop::TimerId learnTimer_ = 0;
  // Tells key events handed to a replaced key handler from the current ones.
  std::shared_ptr<int> keyGeneration_ = std::make_shared<int>(0);

  // The recording.
  bool isRecording_ = false;
  RecordingTarget recordingTarget_ = RecordingTarget::app;
  Clock::time_point recordingStarted_{};
  std::optional<Clock::time_point> lastStop_;  // none: the distant past
  bool wokeModel_ = false;
  std::optional<double> modelIdleAtPress_;
  Chunker chunker_;
  std::shared_ptr<TranscriptChain> chain_;
  std::shared_ptr<TalkAhead> ahead_;
  MainLoop::TimerId chunkTimer_ = 0;
  MainLoop::TimerId announceTimer_ = 0;  // the start sound and tag, waiting out AltGr

  SpeechSwitch speech_;

  // Deliveries, handed out in the order of release.
  int processing_ = 0;
  std::uint64_t nextSequence_ = 0;
  std::uint64_t nextToDeliver_ = 0;
  std::map<std::uint64_t, Delivered> waiting_;
  std::optional<Kept> retry_;  // the last dictation that failed
  std::optional<std::string> writeProblem_;  // to say after the next delivery
};

}  // namespace quorvel
