// Why an input device (a keyboard to read, the virtual keyboard to write) or
// a desktop portal can't be used, as a value the callers can tell apart; the
// text beside it is for log lines and is never looked into.
#pragma once

#include <string>

namespace quorvel {

enum class DeviceError {
  none,
  noPermission,  // the device is there but the account may not open it
  missing,       // no such device (a module not loaded, no keyboard at all)
  failed,        // anything else
};

struct DeviceProblem {
  DeviceError error = DeviceError::none;
  std::string text;  // for log lines; "" when error is none
  void clear() {
    error = DeviceError::none;
    text.clear();
  }
};

// The one-time permission step grants both: the group opens the devices and
// the same command loads the uinput module.
inline bool grantedByInputGroup(DeviceError error) {
  return error == DeviceError::noPermission || error == DeviceError::missing;
}

}  // namespace quorvel
