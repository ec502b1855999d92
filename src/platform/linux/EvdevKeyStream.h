// One keyboard's raw input_event stream turned into the shell's key events:
// records may arrive in pieces, auto-repeats are not new presses, and after
// the kernel dropped events (SYN_DROPPED) the stream is resynchronised from
// the device's current key state. Plain logic, no I/O: the evdev key source
// feeds it whatever bytes it read.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "app/desktop/KeySource.h"
#include "platform/linux/KeyboardDevice.h"

namespace quorvel {

class EvdevKeyStream {
 public:
  using Emit = std::function<void(const KeyEvent&)>;
  using StateQuery = std::function<std::optional<KeyBits>()>;

  // The shell's view of an evdev key code: the binding's dictation or note
  // key, or another key, and whether it is a modifier.
  static KeyEvent eventFor(int code, bool down, const KeyBinding& binding = {});

  // Feeds bytes as read from the device. state answers the device's current
  // keys (for resynchronising); emit receives every change, in order.
  void feed(const char* data, std::size_t size, const StateQuery& state, const Emit& emit);
  // The device went away: every key it still held is released.
  void lost(const Emit& emit);
  bool held(int code) const { return code >= 0 && code < KEY_CNT && down_[static_cast<size_t>(code)]; }

 private:
  void handle(const input_event& event, const StateQuery& state, const Emit& emit);
  void change(int code, bool down, const Emit& emit);

  std::string partial_;  // the start of a record whose rest has not arrived
  bool dropping_ = false;
  KeyBits down_;
};

}  // namespace quorvel
