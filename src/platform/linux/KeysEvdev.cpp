// Reading the keyboards' evdev streams on one polling thread.
#include "platform/linux/KeysEvdev.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/Log.h"

namespace quorvel {

KeysEvdev::KeysEvdev(std::unique_ptr<KeyboardFinder> finder) : finder_(std::move(finder)) {}

KeysEvdev::~KeysEvdev() { stop(); }

bool KeysEvdev::start(Handler handler) {
  stop();
  std::vector<std::unique_ptr<KeyboardDevice>> devices = finder_->present();
  std::scoped_lock lock(mutex_);
  const std::string before = problem_;
  problem_ = devices.empty() ? finder_->problem() : std::string();
  error_ = devices.empty() ? finder_->error() : DeviceError::none;
  if (!problem_.empty()) {
    // The application tries again every few seconds: say it once.
    if (problem_ != before) logLine("Quorvel: cannot hear the keys: " + problem_);
    return false;
  }
  if (!keyThread_.open()) {
    problem_ = "cannot make a pipe for the key thread";
    error_ = DeviceError::failed;
    return false;
  }
  for (auto& device : devices) keyboards_.push_back({std::move(device), {}});
  handler_ = std::move(handler);
  keyThread_.start([this](int stopFd) { run(stopFd); });
  return true;
}

void KeysEvdev::stop() {
  keyThread_.stop();
  std::scoped_lock lock(mutex_);
  handler_ = nullptr;
  keyboards_.clear();
}

bool KeysEvdev::isDown(ShellKey key) {
  const int code = binding().codeOf(key);
  if (code <= 0 || code >= KEY_CNT) return false;
  std::scoped_lock lock(mutex_);
  for (Keyboard& keyboard : keyboards_) {
    // The kernel's own state when the device has one; else what was read.
    if (auto state = keyboard.device->keyState()) {
      if ((*state)[static_cast<size_t>(code)]) return true;
    } else if (keyboard.stream.held(code)) {
      return true;
    }
  }
  return false;
}

std::string KeysEvdev::problem() const {
  std::scoped_lock lock(mutex_);
  return problem_;
}

bool KeysEvdev::needsPermission() const {
  std::scoped_lock lock(mutex_);
  return error_ == DeviceError::noPermission;
}

size_t KeysEvdev::keyboardCount() const {
  std::scoped_lock lock(mutex_);
  return keyboards_.size();
}

// REQUIRES: mutex_ held. Events wait here until the thread lets go of the
// lock, so a handler may call isDown().
void KeysEvdev::emit(const KeyEvent& event) {
  KeyEvent bound = event;
  bound.key = binding().roleOf(event.code);
  pending_.push_back(bound);
}

void KeysEvdev::deliver() {
  Handler handler;
  std::vector<KeyEvent> events;
  {
    std::scoped_lock lock(mutex_);
    handler = handler_;
    events.swap(pending_);
  }
  if (handler) {
    for (const KeyEvent& event : events) handler(event);
  }
}

// REQUIRES: mutex_ held.
void KeysEvdev::drop(size_t index) {
  Keyboard& keyboard = keyboards_[index];
  logLine("Quorvel: keyboard gone: " + keyboard.device->name());
  keyboard.stream.lost([this](const KeyEvent& event) { emit(event); });
  keyboards_.erase(keyboards_.begin() + static_cast<std::ptrdiff_t>(index));
}

void KeysEvdev::run(int stopFd) {
  const int changesFd = finder_->changesFd();
  std::vector<pollfd> fds;
  char buffer[64 * sizeof(input_event)];
  while (true) {
    fds.clear();
    fds.push_back({stopFd, POLLIN, 0});
    fds.push_back({changesFd, POLLIN, 0});  // a negative fd is skipped by poll
    {
      std::scoped_lock lock(mutex_);
      for (const Keyboard& keyboard : keyboards_) fds.push_back({keyboard.device->fd(), POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      logLine(std::string("Quorvel: the key thread stopped: ") + std::strerror(errno));
      return;
    }
    if (fds[0].revents != 0) return;
    if (changesFd >= 0 && fds[1].revents != 0) {
      auto added = finder_->added();
      std::scoped_lock lock(mutex_);
      for (auto& device : added) {
        logLine("Quorvel: keyboard added: " + device->name());
        keyboards_.push_back({std::move(device), {}});
      }
    }
    readKeyboards(fds, buffer, sizeof buffer);
    deliver();
  }
}

void KeysEvdev::readKeyboards(const std::vector<pollfd>& fds, char* buffer, size_t size) {
  std::scoped_lock lock(mutex_);
  {
    // Walk backwards so dropping a keyboard keeps the other indexes valid;
    // fds[k + 2] belongs to keyboards_[k] (added keyboards come after).
    const size_t polled = fds.size() - 2;
    for (size_t k = polled; k-- > 0;) {
      const short events = fds[k + 2].revents;
      if (events == 0) continue;
      Keyboard& keyboard = keyboards_[k];
      bool gone = false;
      if (events & POLLIN) {
        // Bounded per wake-up, so one flooding device can't starve the rest.
        for (int round = 0; round < 16; ++round) {
          const ssize_t got = read(keyboard.device->fd(), buffer, size);
          if (got > 0) {
            keyboard.stream.feed(buffer, static_cast<size_t>(got),
                                 [&] { return keyboard.device->keyState(); },
                                 [this](const KeyEvent& event) { emit(event); });
            if (static_cast<size_t>(got) < size) break;
            continue;
          }
          if (got < 0 && (errno == EAGAIN || errno == EINTR)) break;
          gone = true;  // end of stream, ENODEV (unplugged), EIO…
          break;
        }
      } else if (events & (POLLERR | POLLHUP | POLLNVAL)) {
        gone = true;
      }
      if (gone) drop(k);
    }
  }
}

}  // namespace quorvel
