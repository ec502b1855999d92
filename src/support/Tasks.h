// Cancellation and background tasks: a task is a shared future produced on its
// own thread; a CancelToken is a shared flag handed down to HTTP transfers.
#pragma once

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <type_traits>
#include <utility>

namespace quorvel {

// Copies share one flag. Cancelling is permanent. Thread-safe.
class CancelToken {
 public:
  CancelToken() : flag_(std::make_shared<std::atomic<bool>>(false)) {}
  void cancel() const { flag_->store(true, std::memory_order_release); }
  bool cancelled() const { return flag_->load(std::memory_order_acquire); }

 private:
  std::shared_ptr<std::atomic<bool>> flag_;
};

// Runs fn on a new thread; awaiting is get() on the returned future.
template <class Fn>
auto runTask(Fn&& fn) -> std::shared_future<std::invoke_result_t<std::decay_t<Fn>>> {
  return std::async(std::launch::async, std::forward<Fn>(fn)).share();
}

// Sleeps for the given time in slices, returning early (false) once the token is
// cancelled. Waits of the engine use this so that a stop is never held up.
inline bool sleepUnlessCancelled(std::chrono::milliseconds duration, const CancelToken& token) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (!token.cancelled()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        deadline - now, std::chrono::milliseconds(20)));
  }
  return false;
}

}  // namespace quorvel
