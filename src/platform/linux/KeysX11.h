// The shell's keys on an X11 session: XInput2 raw key events from the root
// window (no grab, so the focused application still gets every key) on a
// thread of their own, and XQueryKeymap for the poll. Keys are matched by key
// code (the binding's codes plus 8: 108 is right Alt, AltGr on many layouts);
// the mouse's side buttons come as raw button events 8 and 9.
#pragma once

#include "platform/linux/KeyThread.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "app/desktop/KeySource.h"
#include "platform/linux/X11Display.h"

namespace quorvel {

class KeysX11 : public KeySource {
 public:
  static constexpr int rightAltKeycode = 108;
  static constexpr int rightSuperKeycode = 134;

  KeysX11() = default;
  ~KeysX11() override;
  KeysX11(const KeysX11&) = delete;
  KeysX11& operator=(const KeysX11&) = delete;

  // Opens two connections (events, queries) and starts the event thread.
  // False, with problem() set and logged, when there is no display or no
  // XInput 2.0.
  bool start(Handler handler) override;
  void stop() override;
  // Any thread.
  bool isDown(ShellKey key) override;
  std::string problem() const override;

  // Says that this program itself is about to send a right Alt press or
  // release (the paste chord lets go of a held right Alt and presses it
  // again). Its echo is not passed on and the poll still sees the key held,
  // so typing an earlier dictation never ends the recording under way.
  // Echoes that never come are forgotten after a second. Any thread.
  void expectOwnRightAlt(bool down);

 private:
  struct OwnEcho {
    bool down;
    std::chrono::steady_clock::time_point until;
  };
  // True when the event is the echo of the next announced key (and drops it).
  bool isOwnEcho(bool down);

  void run(int stopFd);
  void deliver(const KeyEvent& key);  // never while holding mutex_

  mutable std::mutex mutex_;
  std::string problem_;       // guarded by mutex_
  Handler handler_;           // guarded by mutex_
  std::deque<OwnEcho> ownRightAlt_;  // guarded by mutex_; oldest first
  bool userHoldsRightAlt_ = false;   // guarded by mutex_; from the user's events
  bool backHeld_ = false;            // guarded by mutex_; the mouse's side buttons
  bool forwardHeld_ = false;         // guarded by mutex_
  X11DisplayPtr queries_;     // guarded by mutex_; XQueryKeymap
  X11DisplayPtr events_;      // owned by the event thread while it runs
  int xiOpcode_ = 0;
  KeyThread keyThread_;  // last: stopped before the rest goes
};

}  // namespace quorvel
