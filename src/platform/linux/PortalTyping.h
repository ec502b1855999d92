// Typing through the desktop's remote desktop portal
// (org.freedesktop.portal.RemoteDesktop): after the user allows it once in
// the desktop's own dialog, key events reach the focused window without the
// "input" group or /dev/uinput. Where the portal can keep the permission
// (version 2 and later), the restore token it hands back is kept in the
// user's state folder (0600, replaced atomically), so later launches ask
// nothing. Each token is good for one start: every start's new token
// replaces it.
//
// Threading: ask(), write() and the queries from any thread; one ask runs at
// a time. The desktop taking the permission back (its session closed) is
// noticed on the portal connection's thread.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "app/permissions/InputPaths.h"
#include "platform/linux/UinputKeyboard.h"

namespace quorvel {

class PortalBus;
struct PortalTypingLink;

class PortalTyping : public KeyEventSink {
 public:
  struct Settings {
    std::string busAddress;              // "" for the session bus
    std::filesystem::path stateFile;     // where the consent and its token are kept
    std::chrono::milliseconds answerWait{std::chrono::minutes(2)};  // for the user's answer
  };

  // The state file in the user's state folder.
  static std::filesystem::path defaultStateFile();

  explicit PortalTyping(Settings settings);
  ~PortalTyping() override;
  PortalTyping(const PortalTyping&) = delete;
  PortalTyping& operator=(const PortalTyping&) = delete;

  // Starts a session: the desktop's dialog, unless a kept token restores
  // the permission. Waits at most answerWait. Asks again after a refusal or
  // a revocation (the user chose to).
  TypingConsent ask();
  TypingConsent consent() const;
  // The user allowed typing on an earlier launch (a kept consent, with or
  // without a token): starting a session at launch is expected then.
  bool allowedBefore() const;
  // The user said no on an earlier launch: nothing is asked unless they ask.
  bool refusedBefore() const;
  // Ends a question still waiting for the user, and every later one: the
  // owner is going away.
  void cancel();
  // Why keys can't be sent, or "".
  std::string problem() const;

  // Sends the key presses and releases (repeats and reports are left out).
  // Asks first when nothing was asked yet and the user never said no.
  bool write(const std::vector<input_event>& events) override;
  std::string way() const override { return "the desktop's remote desktop portal"; }

 private:
  struct Kept {
    bool allowed = false;
    bool refused = false;
    std::string restoreToken;
  };
  Kept readKept() const;
  void keep(const Kept& kept);
  TypingConsent startSession(const Kept& kept);
  void closed();

  Settings settings_;
  std::mutex askMutex_;  // one ask at a time
  mutable std::mutex mutex_;
  std::shared_ptr<PortalBus> bus_;                 // guarded by mutex_
  std::string session_;                            // guarded by mutex_
  unsigned closedSubscription_ = 0;                // guarded by mutex_
  std::shared_ptr<PortalTypingLink> link_;         // guarded by mutex_
  TypingConsent consent_ = TypingConsent::notAsked;  // guarded by mutex_
  std::string problem_;                            // guarded by mutex_
  bool cancelled_ = false;                         // guarded by mutex_
};

}  // namespace quorvel
