// Keyboards under /dev/input through libudev.
#include "platform/linux/EvdevDevices.h"

#include <fcntl.h>
#include <libudev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/UinputKeyboard.h"
#include "support/Log.h"

namespace quorvel {
namespace {

// Our own virtual keyboard types text with AltGr; hearing it would start a
// recording in the middle of a delivery.
bool isOurVirtualKeyboard(struct udev_device* device) {
  struct udev_device* input = udev_device_get_parent_with_subsystem_devtype(device, "input", nullptr);
  const char* name = input != nullptr ? udev_device_get_sysattr_value(input, "name") : nullptr;
  return name != nullptr && std::strcmp(name, virtualKeyboardName) == 0;
}

bool isKeyboard(struct udev_device* device) {
  if (isOurVirtualKeyboard(device)) return false;
  const char* keyboard = udev_device_get_property_value(device, "ID_INPUT_KEYBOARD");
  const char* node = udev_device_get_devnode(device);
  return keyboard != nullptr && std::strcmp(keyboard, "1") == 0 && node != nullptr &&
         std::strncmp(node, "/dev/input/event", 16) == 0;
}

}  // namespace

std::unique_ptr<EvdevFileDevice> EvdevFileDevice::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  char name[256] = {};
  if (ioctl(fd, EVIOCGNAME(sizeof name - 1), name) < 0) name[0] = '\0';
  std::string label = name[0] != '\0' ? std::string(name) + " (" + path + ")" : path;
  return std::unique_ptr<EvdevFileDevice>(new EvdevFileDevice(fd, std::move(label)));
}

EvdevFileDevice::~EvdevFileDevice() { close(fd_); }

std::optional<KeyBits> EvdevFileDevice::keyState() {
  unsigned char bits[(KEY_CNT + 7) / 8] = {};
  if (ioctl(fd_, EVIOCGKEY(sizeof bits), bits) < 0) return std::nullopt;
  KeyBits state;
  for (size_t code = 0; code < KEY_CNT; ++code) {
    if (bits[code / 8] & (1u << (code % 8))) state.set(code);
  }
  return state;
}

UdevKeyboards::UdevKeyboards() : udev_(udev_new()) {
  if (udev_ == nullptr) return;
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (monitor_ != nullptr) {
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "input", nullptr);
    if (udev_monitor_enable_receiving(monitor_) < 0) {
      udev_monitor_unref(monitor_);
      monitor_ = nullptr;
    }
  }
  if (monitor_ == nullptr) logLine("Quorvel: keyboards plugged in later won't be heard (no udev monitor)");
}

UdevKeyboards::~UdevKeyboards() {
  if (monitor_ != nullptr) udev_monitor_unref(monitor_);
  if (udev_ != nullptr) udev_unref(udev_);
}

std::vector<std::unique_ptr<KeyboardDevice>> UdevKeyboards::present() {
  std::vector<std::unique_ptr<KeyboardDevice>> keyboards;
  problem_.clear();
  error_ = DeviceError::none;
  if (udev_ == nullptr) {
    problem_ = "cannot list the input devices (udev)";
    error_ = DeviceError::failed;
    return keyboards;
  }
  struct udev_enumerate* list = udev_enumerate_new(udev_);
  udev_enumerate_add_match_subsystem(list, "input");
  udev_enumerate_add_match_property(list, "ID_INPUT_KEYBOARD", "1");
  udev_enumerate_scan_devices(list);
  int refused = 0;
  struct udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(list)) {
    struct udev_device* device =
        udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
    if (device == nullptr) continue;
    if (isKeyboard(device)) {
      if (auto keyboard = EvdevFileDevice::open(udev_device_get_devnode(device))) {
        keyboards.push_back(std::move(keyboard));
      } else if (errno == EACCES || errno == EPERM) {
        ++refused;
      }
    }
    udev_device_unref(device);
  }
  udev_enumerate_unref(list);
  if (keyboards.empty()) {
    error_ = refused > 0 ? DeviceError::noPermission : DeviceError::missing;
    problem_ = refused > 0 ? "no permission to read the keyboards in /dev/input (the user is not "
                             "in the \"input\" group)"
                           : "no keyboard found in /dev/input";
  }
  return keyboards;
}

int UdevKeyboards::changesFd() const {
  return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1;
}

std::vector<std::unique_ptr<KeyboardDevice>> UdevKeyboards::added() {
  std::vector<std::unique_ptr<KeyboardDevice>> keyboards;
  if (monitor_ == nullptr) return keyboards;
  // Bounded: the monitor's socket is non-blocking, and a burst is finite.
  for (int i = 0; i < 64; ++i) {
    struct udev_device* device = udev_monitor_receive_device(monitor_);
    if (device == nullptr) break;
    const char* action = udev_device_get_action(device);
    if (action != nullptr && std::strcmp(action, "add") == 0 && isKeyboard(device)) {
      if (auto keyboard = EvdevFileDevice::open(udev_device_get_devnode(device))) {
        keyboards.push_back(std::move(keyboard));
      }
    }
    udev_device_unref(device);
  }
  return keyboards;
}

}  // namespace quorvel
