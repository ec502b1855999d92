// The two keys Quorvel listens to, as the recording control sees them: events
// for right Alt (hold to talk) and right Super (tap for the note), every other
// key only as "something else happened", and a key-state query for the poll.
// Keys are matched by key code, never by symbol: right Alt is AltGr on many
// layouts and must still work.
//
// Adapters: X11 (XInput2 raw events on the root window, no grab), evdev on
// Wayland, and a fake for tests. None of them takes a key away from the
// application that has focus.
#pragma once

#include <functional>
#include <string>

namespace quorvel {

enum class ShellKey {
  rightAlt,    // X11 keycode 108, evdev KEY_RIGHTALT (100)
  rightSuper,  // X11 keycode 134, evdev KEY_RIGHTMETA (126)
  other,       // any other key or modifier
};

struct KeyEvent {
  ShellKey key = ShellKey::other;
  bool down = false;
  // A modifier (Shift, Ctrl, Alt, Super, AltGr…) rather than an ordinary key.
  // Any event but right Super's own cancels a right-Super tap.
  bool modifier = false;
};

class KeySource {
 public:
  using Handler = std::function<void(const KeyEvent&)>;

  virtual ~KeySource() = default;

  // Starts listening; events go to handler on the source's own thread (the
  // caller hops to its main loop). False when the keys can't be heard; then
  // problem() says why, in words for a log line. Calling start again replaces
  // the handler.
  virtual bool start(Handler handler) = 0;
  // Stops delivering events; no call of the handler runs after it returns.
  virtual void stop() = 0;
  // Whether the key is down right now (the 0.05 s poll). False when unknown.
  virtual bool isDown(ShellKey key) = 0;
  // Why the source can't hear the keys, or "" when it can.
  virtual std::string problem() const = 0;
  // Whether the keys can't be heard until the user grants a permission (on
  // Wayland: reading the keyboards under /dev/input).
  virtual bool needsPermission() const { return false; }
};

}  // namespace quorvel
