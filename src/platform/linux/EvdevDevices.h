// The keyboards of /dev/input, found through libudev: each opened read-only
// and non-blocking (never grabbed), with hot-plug through udev's monitor.
// Without read access (the user is not in the "input" group) the finder
// says exactly that.
#pragma once

#include <memory>
#include <string>

#include "platform/linux/KeyboardDevice.h"

struct udev;
struct udev_monitor;

namespace quorvel {

// One /dev/input/event* node.
class EvdevFileDevice : public KeyboardDevice {
 public:
  // Opens path; nothing (errno set) when it can't be opened.
  static std::unique_ptr<EvdevFileDevice> open(const std::string& path);
  ~EvdevFileDevice() override;
  EvdevFileDevice(const EvdevFileDevice&) = delete;
  EvdevFileDevice& operator=(const EvdevFileDevice&) = delete;

  int fd() const override { return fd_; }
  std::string name() const override { return name_; }
  std::optional<KeyBits> keyState() override;

 private:
  EvdevFileDevice(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  int fd_;
  std::string name_;
};

class UdevKeyboards : public KeyboardFinder {
 public:
  UdevKeyboards();
  ~UdevKeyboards() override;
  UdevKeyboards(const UdevKeyboards&) = delete;
  UdevKeyboards& operator=(const UdevKeyboards&) = delete;

  std::vector<std::unique_ptr<KeyboardDevice>> present() override;
  int changesFd() const override;
  std::vector<std::unique_ptr<KeyboardDevice>> added() override;
  std::string problem() const override { return problem_; }
  DeviceError error() const override { return error_; }

 private:
  struct udev* udev_ = nullptr;
  struct udev_monitor* monitor_ = nullptr;
  std::string problem_;
  DeviceError error_ = DeviceError::none;
};

}  // namespace quorvel
