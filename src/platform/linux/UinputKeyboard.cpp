// The paste chord as evdev events, and the uinput device that sends them.
#include "platform/linux/UinputKeyboard.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>

#include "platform/linux/KeyTyping.h"
#include "support/Files.h"

namespace quorvel {
std::vector<input_event> pasteChordEvents(PasteChord chord, int vKey) {
  std::vector<unsigned short> keys{KEY_LEFTCTRL};
  if (chord == PasteChord::ctrlShiftV) keys.push_back(KEY_LEFTSHIFT);
  keys.push_back(static_cast<unsigned short>(vKey));
  std::vector<input_event> events;
  for (unsigned short key : keys) {
    pressKey(events, key, true);
  }
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
    pressKey(events, *it, false);
  }
  return events;
}

bool FdKeyEventSink::write(const std::vector<input_event>& events) {
  for (const input_event& e : events) {
    if (!writeAll(fd_, std::string_view(reinterpret_cast<const char*>(&e), sizeof e))) return false;
  }
  return true;
}

std::unique_ptr<UinputKeyboard> UinputKeyboard::create(DeviceProblem& problem) {
  const int fd = open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM) {
      problem = {DeviceError::noPermission, "no permission to write /dev/uinput"};
    } else {
      problem = {DeviceError::missing, "no /dev/uinput (" + std::string(std::strerror(errno)) + ")"};
    }
    return nullptr;
  }
  bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd, UI_SET_EVBIT, EV_SYN) == 0;
  // Every ordinary key, so the keyboard can also type text.
  for (int key = KEY_ESC; ok && key <= KEY_MICMUTE; ++key) ok = ioctl(fd, UI_SET_KEYBIT, key) == 0;
  uinput_setup setup{};
  setup.id.bustype = BUS_VIRTUAL;
  setup.id.vendor = 0x5175;  // "Qu"
  setup.id.product = 0x0001;
  std::strncpy(setup.name, virtualKeyboardName, UINPUT_MAX_NAME_SIZE - 1);
  ok = ok && ioctl(fd, UI_DEV_SETUP, &setup) == 0 && ioctl(fd, UI_DEV_CREATE) == 0;
  if (!ok) {
    problem = {DeviceError::failed, "cannot create a virtual keyboard: " + std::string(std::strerror(errno))};
    close(fd);
    return nullptr;
  }
  problem.clear();
  return std::unique_ptr<UinputKeyboard>(new UinputKeyboard(fd));
}

UinputKeyboard::~UinputKeyboard() {
  ioctl(fd_, UI_DEV_DESTROY);
  close(fd_);
}

bool UinputKeyboard::write(const std::vector<input_event>& events) {
  const auto ready = created_ + settleTime;
  if (std::chrono::steady_clock::now() < ready) std::this_thread::sleep_until(ready);
  return FdKeyEventSink(fd_).write(events);
}

}  // namespace quorvel
