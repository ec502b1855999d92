// The keys Quorvel listens to, as the recording control sees them: the
// dictation key (hold to talk, or tap for hands-free) and the note key (tap
// for the note), every other key only as "something else happened", and a
// key-state query for the poll. Which physical keys play the two parts is a
// KeyBinding the application hands to the source; keys are matched by key
// code, never by symbol (right Alt is AltGr on many layouts and must still
// work when the user keeps it).
//
// Adapters: X11 (XInput2 raw events on the root window, no grab), evdev on
// Wayland, and a fake for tests. None of them takes a key away from the
// application that has focus.
#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace quorvel {

// Linux input key codes (linux/input-event-codes.h), the one numbering every
// key source speaks; X11 key codes are these plus 8. Mouse side buttons use
// the button codes the kernel gives them.
namespace keycode {
inline constexpr int escape = 1;
inline constexpr int rightCtrl = 97;
inline constexpr int rightAlt = 100;
inline constexpr int rightSuper = 126;
inline constexpr int menu = 127;        // KEY_COMPOSE, the Menu key
inline constexpr int mouseBack = 0x113;     // BTN_SIDE
inline constexpr int mouseForward = 0x114;  // BTN_EXTRA
inline constexpr int highest = 0x2ff;   // KEY_MAX
// The offset between X11 key codes and these.
inline constexpr int x11Offset = 8;
}  // namespace keycode

enum class ShellKey {
  dictation,  // the chosen dictation key (right Alt unless the user chose another)
  note,       // the chosen note key (right Super unless the user chose another)
  other,      // any other key or modifier
};

// Which physical keys dictate and open the note. The two always differ.
struct KeyBinding {
  int dictation = keycode::rightAlt;
  int note = keycode::rightSuper;

  ShellKey roleOf(int code) const {
    if (code == dictation) return ShellKey::dictation;
    if (code == note) return ShellKey::note;
    return ShellKey::other;
  }
  int codeOf(ShellKey key) const {
    return key == ShellKey::dictation ? dictation : key == ShellKey::note ? note : 0;
  }
  bool operator==(const KeyBinding&) const = default;
};

struct KeyEvent {
  ShellKey key = ShellKey::other;
  bool down = false;
  // A modifier (Shift, Ctrl, Alt, Super, AltGr…) rather than an ordinary key.
  // Any event but the note key's own cancels a note tap.
  bool modifier = false;
  // The key's code (keycode::…), 0 when the source can't tell: lets the
  // settings page learn "a key I press".
  int code = 0;
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

  // Which keys play which part; takes effect with the next event. Any thread.
  // A source that hands the keys on to another (a fallback) passes it on too.
  virtual void setBinding(KeyBinding binding) {
    dictation_.store(binding.dictation);
    note_.store(binding.note);
  }
  KeyBinding binding() const { return {dictation_.load(), note_.load()}; }

 private:
  std::atomic<int> dictation_{keycode::rightAlt};
  std::atomic<int> note_{keycode::rightSuper};
};

}  // namespace quorvel
