// The shell's keys on a Wayland session: every keyboard's evdev stream, read
// without grabbing (the focused application still gets every key), on a
// thread of its own that sleeps in poll; keyboards plugged in later join,
// ones unplugged leave (releasing what they held). The key-state query asks
// the kernel for each keyboard's current keys. Keys are matched by evdev
// code, as the binding says. Events reach the handler
// on the source's thread, never while it holds its lock.
#pragma once

#include "platform/linux/KeyThread.h"

#include <poll.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/desktop/KeySource.h"
#include "platform/linux/EvdevKeyStream.h"
#include "platform/linux/KeyboardDevice.h"

namespace quorvel {

class KeysEvdev : public KeySource {
 public:
  // finder: where keyboards come from (UdevKeyboards on a real system).
  explicit KeysEvdev(std::unique_ptr<KeyboardFinder> finder);
  ~KeysEvdev() override;
  KeysEvdev(const KeysEvdev&) = delete;
  KeysEvdev& operator=(const KeysEvdev&) = delete;

  // False, with problem() set and logged, when no keyboard can be read
  // (typically: no permission for /dev/input).
  bool start(Handler handler) override;
  void stop() override;
  bool isDown(ShellKey key) override;  // any thread
  std::string problem() const override;
  bool needsPermission() const override;

  // How many keyboards are being read (tests).
  size_t keyboardCount() const;

 private:
  struct Keyboard {
    std::unique_ptr<KeyboardDevice> device;
    EvdevKeyStream stream;
  };

  void run(int stopFd);
  void readKeyboards(const std::vector<pollfd>& fds, char* buffer, size_t size);
  void emit(const KeyEvent& event);
  void deliver();
  void drop(size_t index);

  std::unique_ptr<KeyboardFinder> finder_;
  mutable std::mutex mutex_;
  std::string problem_;                  // guarded by mutex_
  DeviceError error_ = DeviceError::none;  // guarded by mutex_; the kind of problem_
  Handler handler_;                      // guarded by mutex_
  std::vector<Keyboard> keyboards_;      // guarded by mutex_ (changed by the thread only)
  std::vector<KeyEvent> pending_;        // guarded by mutex_; read, not yet delivered
  KeyThread keyThread_;  // last: stopped before the rest goes
};

}  // namespace quorvel
