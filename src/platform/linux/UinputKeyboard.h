// Typing on a Wayland session: a virtual keyboard through /dev/uinput that
// sends the paste chord into whatever window has the focus. The event
// sequence is built separately from the device, so it can be checked on any
// file descriptor.
#pragma once

#include <linux/input.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/desktop/Paster.h"
#include "platform/linux/DeviceProblem.h"

namespace quorvel {

// How the virtual keyboard names itself, so the evdev key source can leave it
// out (its AltGr presses while typing must never start a recording).
inline constexpr const char* virtualKeyboardName = "Quorvel virtual keyboard";

// Where key events are written: the uinput device, or a pipe in tests.
class KeyEventSink {
 public:
  virtual ~KeyEventSink() = default;
  // Writes all events in order; false when the device refused any.
  virtual bool write(const std::vector<input_event>& events) = 0;
  // Which way the keys go right now, for log lines ("the virtual keyboard",
  // "the desktop's remote desktop portal").
  virtual std::string way() const { return "the virtual keyboard"; }
};

// The events of one chord: Ctrl (+ Shift) + the key that gives "v" (KEY_V on
// most layouts; the caller may know better from the keymap), each press and
// release followed by a report, released in reverse order.
std::vector<input_event> pasteChordEvents(PasteChord chord, int vKey = KEY_V);

// Writes whole input_event records to a file descriptor it does not own.
class FdKeyEventSink : public KeyEventSink {
 public:
  explicit FdKeyEventSink(int fd) : fd_(fd) {}
  bool write(const std::vector<input_event>& events) override;

 private:
  int fd_;
};

class UinputKeyboard : public KeyEventSink {
 public:
  // Creates the virtual keyboard; nothing, with problem set ("no permission
  // to write /dev/uinput", "no /dev/uinput"), when it can't.
  static std::unique_ptr<UinputKeyboard> create(DeviceProblem& problem);
  ~UinputKeyboard() override;
  UinputKeyboard(const UinputKeyboard&) = delete;
  UinputKeyboard& operator=(const UinputKeyboard&) = delete;

  // The first write waits until the compositor has had time to take the new
  // device in (it drops the first keys of a brand-new keyboard otherwise).
  bool write(const std::vector<input_event>& events) override;

  static constexpr std::chrono::milliseconds settleTime{150};

 private:
  explicit UinputKeyboard(int fd) : fd_(fd), created_(std::chrono::steady_clock::now()) {}
  int fd_;
  std::chrono::steady_clock::time_point created_;
};

}  // namespace quorvel
