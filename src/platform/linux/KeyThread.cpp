// Starts and stops a key source's reading thread through its stop pipe.
#include "platform/linux/KeyThread.h"

#include <fcntl.h>
#include <unistd.h>

namespace quorvel {

bool KeyThread::open() { return pipe2(pipe_, O_CLOEXEC) == 0; }

void KeyThread::start(std::function<void(int stopFd)> body) {
  thread_ = std::thread([body = std::move(body), fd = pipe_[0]] { body(fd); });
}

void KeyThread::stop() {
  if (thread_.joinable()) {
    const char byte = 1;
    (void)!write(pipe_[1], &byte, 1);
    thread_.join();
  }
  for (int& fd : pipe_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace quorvel
