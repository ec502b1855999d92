// Keyboards as the evdev key source reads them: a file descriptor of raw
// input_event records plus the kernel's current key state, and a finder that
// lists the keyboards present and tells when one is added. Real devices come
// from /dev/input (EvdevDevices.h); tests give the reader recorded event
// streams through pipes and socket pairs.
#pragma once

#include <linux/input.h>

#include <bitset>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/DeviceProblem.h"

namespace quorvel {

using KeyBits = std::bitset<KEY_CNT>;

class KeyboardDevice {
 public:
  virtual ~KeyboardDevice() = default;
  // Readable when events wait; never blocks in read (non-blocking).
  virtual int fd() const = 0;
  // For log lines ("AT Translated Set 2 keyboard", a path).
  virtual std::string name() const = 0;
  // The keys held down right now, when the device can say (EVIOCGKEY).
  virtual std::optional<KeyBits> keyState() = 0;
};

class KeyboardFinder {
 public:
  virtual ~KeyboardFinder() = default;
  // The keyboards present now, opened for reading. Afterwards problem()
  // says why there are none (no permission, no keyboard), or "".
  virtual std::vector<std::unique_ptr<KeyboardDevice>> present() = 0;
  // Readable when keyboards were added (-1: no hot-plug).
  virtual int changesFd() const { return -1; }
  // After changesFd() became readable: the keyboards that were added.
  virtual std::vector<std::unique_ptr<KeyboardDevice>> added() { return {}; }
  virtual std::string problem() const = 0;
  // The kind of problem() (none when there is none).
  virtual DeviceError error() const { return problem().empty() ? DeviceError::none : DeviceError::failed; }
};

}  // namespace quorvel
