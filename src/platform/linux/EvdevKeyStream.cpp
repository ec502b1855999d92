// Decoding input_event records into key changes.
#include "platform/linux/EvdevKeyStream.h"

#include <cstring>

namespace quorvel {
namespace {

// Mouse and joystick buttons share EV_KEY; they are not keys the shell hears,
// except the mouse's side buttons, which a user may choose to dictate with.
bool isButton(int code) { return code >= BTN_MISC && code < KEY_OK && code != BTN_SIDE && code != BTN_EXTRA; }

bool isModifier(int code) {
  switch (code) {
    case KEY_LEFTCTRL:
    case KEY_RIGHTCTRL:
    case KEY_LEFTSHIFT:
    case KEY_RIGHTSHIFT:
    case KEY_LEFTALT:
    case KEY_RIGHTALT:
    case KEY_LEFTMETA:
    case KEY_RIGHTMETA:
      return true;
    default:
      return false;
  }
}

}  // namespace

KeyEvent EvdevKeyStream::eventFor(int code, bool down, const KeyBinding& binding) {
  KeyEvent event;
  event.key = binding.roleOf(code);
  event.code = code;
  event.down = down;
  event.modifier = isModifier(code);
  return event;
}

void EvdevKeyStream::change(int code, bool down, const Emit& emit) {
  down_[static_cast<size_t>(code)] = down;
  if (emit) emit(eventFor(code, down));
}

void EvdevKeyStream::handle(const input_event& event, const StateQuery& state, const Emit& emit) {
  if (event.type == EV_SYN && event.code == SYN_DROPPED) {
    dropping_ = true;  // everything up to the next report is incomplete
    return;
  }
  if (dropping_) {
    if (event.type != EV_SYN || event.code != SYN_REPORT) return;
    dropping_ = false;
    const std::optional<KeyBits> now = state ? state() : std::nullopt;
    if (!now) return;
    // Releases first, so a key that went up and another that went down
    // meanwhile never look held together.
    for (int code = 0; code < KEY_CNT; ++code) {
      if (!isButton(code) && down_[static_cast<size_t>(code)] && !(*now)[static_cast<size_t>(code)]) {
        change(code, false, emit);
      }
    }
    for (int code = 0; code < KEY_CNT; ++code) {
      if (!isButton(code) && !down_[static_cast<size_t>(code)] && (*now)[static_cast<size_t>(code)]) {
        change(code, true, emit);
      }
    }
    return;
  }
  if (event.type != EV_KEY || event.code >= KEY_CNT || isButton(event.code)) return;
  const int code = event.code;
  if (event.value == 1 && !held(code)) change(code, true, emit);
  if (event.value == 0 && held(code)) change(code, false, emit);
  // value 2 is the keyboard's auto-repeat: the key was already down.
}

void EvdevKeyStream::feed(const char* data, std::size_t size, const StateQuery& state,
                          const Emit& emit) {
  partial_.append(data, size);
  std::size_t offset = 0;
  while (partial_.size() - offset >= sizeof(input_event)) {
    input_event event;
    std::memcpy(&event, partial_.data() + offset, sizeof event);
    offset += sizeof event;
    handle(event, state, emit);
  }
  partial_.erase(0, offset);
}

void EvdevKeyStream::lost(const Emit& emit) {
  for (int code = 0; code < KEY_CNT; ++code) {
    if (held(code)) change(code, false, emit);
  }
  partial_.clear();
  dropping_ = false;
}

}  // namespace quorvel
