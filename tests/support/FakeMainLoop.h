// A main loop for tests: nothing runs until the test runs the posted work or
// advances its clock, and then timers fire in time order, each at its own
// moment, without sleeping. Work may be posted from any thread; everything
// else belongs to the test's thread.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "app/core/MainLoop.h"

namespace quorvel::testing {

class FakeMainLoop final : public MainLoop {
 public:
  void post(std::function<void()> work) override {
    std::scoped_lock lock(mutex_);
    posted_.push_back(std::move(work));
  }
  TimerId after(Seconds delay, std::function<void()> work) override { return add(delay, false, std::move(work)); }
  TimerId every(Seconds interval, std::function<void()> work) override {
    return add(interval, true, std::move(work));
  }
  void cancel(TimerId timer) override { timers_.erase(timer); }
  Clock::time_point now() const override { return now_; }

  // Runs everything posted so far (and what that posts), boundedly.
  void runPosted() {
    for (int round = 0; round < 1000; ++round) {
      std::deque<std::function<void()>> batch;
      {
        std::scoped_lock lock(mutex_);
        batch.swap(posted_);
      }
      if (batch.empty()) return;
      for (auto& work : batch) work();
    }
    FAIL() << "posted work never settles";
  }

  // Moves the clock forward, running posted work and every timer that falls
  // due on the way, in time order.
  void advance(Seconds by) {
    const Clock::time_point end = now_ + std::chrono::duration_cast<Clock::duration>(by);
    runPosted();
    for (int guard = 0; guard < 1000000; ++guard) {
      auto next = std::min_element(timers_.begin(), timers_.end(),
                                   [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
      if (next == timers_.end() || next->second.due > end) break;
      now_ = std::max(now_, next->second.due);
      auto work = next->second.work;
      if (next->second.repeat) {
        next->second.due += next->second.interval;
      } else {
        timers_.erase(next);
      }
      work();
      runPosted();
    }
    now_ = end;
    runPosted();
  }
  void advance(double seconds) { advance(Seconds(seconds)); }

  std::size_t pendingTimers() const { return timers_.size(); }

 private:
  struct Timer {
    Clock::time_point due;
    Clock::duration interval;
    bool repeat = false;
    std::function<void()> work;
  };
  TimerId add(Seconds delay, bool repeat, std::function<void()> work) {
    const auto interval = std::chrono::duration_cast<Clock::duration>(delay);
    timers_[nextId_] = Timer{now_ + interval, interval, repeat, std::move(work)};
    return nextId_++;
  }

  std::mutex mutex_;
  std::deque<std::function<void()>> posted_;  // guarded by mutex_
  std::map<TimerId, Timer> timers_;
  TimerId nextId_ = 1;
  Clock::time_point now_ = Clock::time_point() + std::chrono::hours(1);
};

}  // namespace quorvel::testing
