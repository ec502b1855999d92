// The reading thread of a key source, with the pipe that wakes it to stop:
// the thread's body polls its own descriptors and the pipe's read end, and
// returns once the pipe becomes readable.
//
// Threading: open(), start() and stop() from the owning thread only.
#pragma once

#include <functional>
#include <thread>

namespace quorvel {

class KeyThread {
 public:
  KeyThread() = default;
  ~KeyThread() { stop(); }
  KeyThread(const KeyThread&) = delete;
  KeyThread& operator=(const KeyThread&) = delete;

  // Makes the stop pipe; false when the system refuses one.
  bool open();
  // Runs body(stopFd) on the thread. REQUIRES: open() answered true.
  void start(std::function<void(int stopFd)> body);
  // Wakes the thread, waits for it to end and closes the pipe.
  void stop();

 private:
  int pipe_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace quorvel
