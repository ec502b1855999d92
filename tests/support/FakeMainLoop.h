// A main loop for tests: nothing runs until the test advances the clock, and
// then every timer that falls due runs in time order. Posted work runs on the
// next advance (or runPosted). Header only.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <utility>

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

  // Runs what was posted, including work posted meanwhile.
  void runPosted() {
    while (!posted_.empty()) {
      auto work = std::move(posted_.front());
      posted_.pop_front();
      work();
    }
  }

  // Moves the clock on by `by`, running posted work and each timer that falls
  // due, in time order (a repeating timer as often as it falls due).
  void advance(Seconds by) {
    const Clock::time_point end = now_ + std::chrono::duration_cast<Clock::duration>(by);
    runPosted();
    for (;;) {
      auto next = std::min_element(timers_.begin(), timers_.end(),
                                   [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
      if (next == timers_.end() || next->second.due > end) break;
      now_ = std::max(now_, next->second.due);
      std::function<void()> work = next->second.work;  // the timer may cancel itself
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

  std::size_t liveTimers() const { return timers_.size(); }

 private:
  struct Timer {
    Clock::time_point due;
    Seconds interval;
    std::function<void()> work;
  };

  TimerId add(Seconds delay, Seconds interval, std::function<void()> work) {
    const TimerId id = nextId_++;
    timers_.emplace(id, Timer{now_ + std::chrono::duration_cast<Clock::duration>(delay), interval, std::move(work)});
    return id;
  }

  Clock::time_point now_{};
  TimerId nextId_ = 1;
  std::map<TimerId, Timer> timers_;
  std::deque<std::function<void()>> posted_;
};

}  // namespace quorvel::testing
