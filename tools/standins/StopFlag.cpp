// Stop flag and the signal thread that raises it.
#include "StopFlag.h"

#include <signal.h>

#include <ctime>

namespace quorvel::standin {

void StopFlag::raise() {
  {
    std::scoped_lock lock(mutex_);
    raised_ = true;
  }
  changed_.notify_all();
}

bool StopFlag::raised() const {
  std::scoped_lock lock(mutex_);
  return raised_;
}

bool StopFlag::sleepFor(std::chrono::milliseconds duration) const {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, duration, [this] { return raised_; });
}

bool StopFlag::waitRaised(std::stop_token token) const {
  std::unique_lock lock(mutex_);
  return changed_.wait(lock, token, [this] { return raised_; });
}

namespace {

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

SignalWatcher::SignalWatcher(StopFlag& flag) {
  ::signal(SIGPIPE, SIG_IGN);
  const sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  thread_ = std::jthread([&flag, set](std::stop_token token) {
    // Wake every 100 ms to notice the program ending without a signal.
    const timespec tick{0, 100'000'000};
    while (!token.stop_requested()) {
      if (sigtimedwait(&set, nullptr, &tick) > 0) {
        flag.raise();
        return;
      }
    }
  });
}

SignalWatcher::~SignalWatcher() {
  thread_.request_stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace quorvel::standin
