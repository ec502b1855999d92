// A main loop for tests: nothing runs until the test advances its clock, and
// then timers fire in time order, each at its own moment, without sleeping.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "app/MainLoop.h"

namespace quorvel::testing {

class FakeMainLoop final : public MainLoop {
 public:
  void post(std::function<void()> work) override { posted_.push_back(std::move(work)); }

  TimerId after(Seconds delay, std::function<void()> work) override {
    return add(delay, Seconds(0), std::move(work));
  }
  TimerId every(Seconds interval, std::function<void()> work) override {
    return add(interval, interval, std::move(work));
  }
  void cancel(TimerId timer) override { timers_.erase(timer); }
  Clock::time_point now() const override { return now_; }

  // Runs the posted work (and work that work posts), in order.
  void runPosted() {
    for (int rounds = 0; rounds < 1000 && !posted_.empty(); ++rounds) {
      auto batch = std::move(posted_);
      posted_.clear();
      for (auto& work : batch) work();
    }
  }

  // Moves the clock forward, firing every timer that falls due on the way.
  void advance(Seconds by) {
    const Clock::time_point end = now_ + std::chrono::duration_cast<Clock::duration>(by);
    runPosted();
    for (int fired = 0; fired < 100000; ++fired) {
      auto next = timers_.end();
      for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (next == timers_.end() || it->second.due < next->second.due) next = it;
      }
      if (next == timers_.end() || next->second.due > end) break;
      now_ = next->second.due;
      auto work = next->second.work;
      if (next->second.interval.count() > 0) {
        next->second.due += std::chrono::duration_cast<Clock::duration>(next->second.interval);
      } else {
        timers_.erase(next);
      }
      work();
      runPosted();
    }
    now_ = end;
  }

  size_t pendingTimers() const { return timers_.size(); }

 private:
  struct Timer {
    Clock::time_point due;
    Seconds interval;
    std::function<void()> work;
  };

  TimerId add(Seconds delay, Seconds interval, std::function<void()> work) {
    const TimerId id = nextId_++;
    timers_[id] = {now_ + std::chrono::duration_cast<Clock::duration>(delay), interval, std::move(work)};
    return id;
  }

  Clock::time_point now_{};
  TimerId nextId_ = 1;
  std::map<TimerId, Timer> timers_;
  std::vector<std::function<void()>> posted_;
};

}  // namespace quorvel::testing
