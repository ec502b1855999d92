// The dictation and note keys heard through the desktop's global shortcuts
// portal (org.freedesktop.portal.GlobalShortcuts): the two are bound once as
// shortcuts, the user confirms them (or picks other keys) in the desktop's
// own dialog, and the portal's Activated and Deactivated signals become the
// key's press and release, enough for hold-to-talk. No keyboard device is
// read, so no group is needed.
//
// Binding runs on a thread of its own, so the dialog never holds up the
// application; when it fails (no portal, the user cancels, the desktop ends
// the session) the owner is told once and hears the keys another way.
//
// Threading: start, stop and the queries from any thread; events reach the
// handler on the portal connection's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/desktop/KeySource.h"

namespace quorvel {

class PortalBus;
struct PortalShortcutsLink;

// The shortcut ids the portal knows Quorvel's keys by.
inline constexpr const char* kDictationShortcut = "dictate";
inline constexpr const char* kNoteShortcut = "note";

// The key's name as the desktop's shortcut dialog takes it ("Control_R"), or
// "" for a key it has no name for here (a learned key, a mouse button): the
// dialog then proposes nothing and the user picks.
std::string shortcutTrigger(int code);

class PortalShortcuts : public KeySource {
 public:
  struct Settings {
    std::string busAddress;  // "" for the session bus
    std::chrono::milliseconds answerWait{std::chrono::minutes(2)};
    // The keys offered in the desktop's dialog, as the XDG shortcut names
    // the portal's preferred_trigger takes; the user may choose others there.
    std::string dictationTrigger = "Alt_R";
    std::string noteTrigger = "Super_R";
  };

  explicit PortalShortcuts(Settings settings);
  ~PortalShortcuts() override;
  PortalShortcuts(const PortalShortcuts&) = delete;
  PortalShortcuts& operator=(const PortalShortcuts&) = delete;

  // Called once, on the portal's thread, when the shortcuts can't be (or no
  // longer are) heard, with the reason in words.
  void onUnavailable(std::function<void(const std::string& why)> handler);

  // The first start binds (in the background); later ones only replace the
  // handler. True unless binding already failed.
  bool start(Handler handler) override;
  void stop() override;
  bool isDown(ShellKey key) override;
  std::string problem() const override;

  // Whether both shortcuts are bound and confirmed (tests, the report).
  bool bound() const;

 private:
  void bind();
  void activated(const std::string& session, const std::string& id, bool down);
  void fail(const std::string& why);

  Settings settings_;
  mutable std::mutex mutex_;
  Handler handler_;                                 // guarded by mutex_
  std::function<void(const std::string&)> unavailable_;  // guarded by mutex_
  std::shared_ptr<PortalBus> bus_;                  // guarded by mutex_
  std::shared_ptr<PortalShortcutsLink> link_;       // guarded by mutex_
  std::string session_;                             // guarded by mutex_
  std::string problem_;                             // guarded by mutex_
  unsigned activatedId_ = 0, deactivatedId_ = 0, closedId_ = 0;  // guarded by mutex_
  bool started_ = false;                            // guarded by mutex_
  bool bound_ = false;                              // guarded by mutex_
  bool failed_ = false;                             // guarded by mutex_
  std::atomic<bool> dictationDown_{false};
  std::atomic<bool> noteDown_{false};
  std::thread binder_;
};

}  // namespace quorvel
