// Watches the last few typed dictations for the user's own corrections: every
// 2 s while something is watched it reads the text around the cursor of the
// application that received them, asks the correction finder what changed,
// and hands settled corrections to the personal dictionary. A full stop the
// user adds to or removes from a chat message teaches the period habit.
//
// Threading: main thread only (the ticker calls tick on the main thread).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "learning/AccessibleElement.h"
#include "learning/FixFinder.h"
#include "learning/FixMemory.h"
#include "text/CleanupConfig.h"

namespace quorvel {

// The repeating timer the watcher runs on, and its clock. The shell adapts its
// main loop; tests advance a fake clock.
class WatchTicker {
 public:
  virtual ~WatchTicker() = default;
  // Starts calling tick every interval (replacing a running timer).
  virtual void start(std::chrono::duration<double> interval, std::function<void()> tick) = 0;
  virtual void stop() = 0;
  virtual std::chrono::steady_clock::time_point now() const = 0;
};

class EditWatcher {
 public:
  static constexpr double lookInterval = 2.0;   // seconds
  static constexpr double watchSeconds = 900;   // a dictation is watched this long at most
  static constexpr std::size_t maxWatched = 3;
  static constexpr std::int64_t readBefore = 2000;
  static constexpr std::int64_t readAfter = 600;

  // `trusted` says whether the accessibility interface may be read; the
  // "fitText" default switches the watcher off. The word-frequency list is
  // read from frequencyFile on the first look that needs it.
  EditWatcher(AccessibilityDesktop& desktop, WatchTicker& ticker, CleanupFiles files,
              std::filesystem::path frequencyFile, std::function<bool()> trusted);
  EditWatcher(const EditWatcher&) = delete;
  EditWatcher& operator=(const EditWatcher&) = delete;

  // Right after a dictation was typed into the frontmost application.
  void typed(const std::string& text, bool droppedPeriod, bool keptPeriod);
  // When a recording starts: one look, then everything collected is learned.
  void beforeDictation();
  // Hands every collected correction to the personal dictionary.
  void takeIn();

  // For the shell's tests and diagnostics.
  std::size_t watchedCount() const { return watched_.size(); }
  bool ticking() const { return ticking_; }

 private:
  struct Watched {
    std::string id;
    std::string text;
    std::string app;
    std::chrono::steady_clock::time_point since;
    std::vector<Fix> fixes;
    bool droppedPeriod = false;
    bool keptPeriod = false;
    bool periodSeen = false;
    FixFinder::Memory memory;
  };

  bool enabled();
  void look();
  void stopTicking();
  const FixFinder::Frequency& frequency();

  AccessibilityDesktop& desktop_;
  WatchTicker& ticker_;
  const CleanupFiles files_;
  const std::filesystem::path frequencyFile_;
  const std::function<bool()> trusted_;

  std::vector<Watched> watched_;                    // oldest first
  std::map<std::string, std::vector<Fix>> seen_;    // by watched id, not yet taken in
  bool ticking_ = false;
  std::optional<FixFinder::Frequency> frequency_;   // loaded on first use
};

}  // namespace quorvel
