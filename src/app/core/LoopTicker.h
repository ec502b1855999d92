// The edit watcher's timer on the application's main loop.
// Threading: main thread only.
#pragma once

#include "app/core/MainLoop.h"
#include "learning/EditWatcher.h"

namespace quorvel {

class LoopTicker final : public WatchTicker {
 public:
  explicit LoopTicker(MainLoop& loop) : loop_(loop) {}
  ~LoopTicker() override { stop(); }
  void start(std::chrono::duration<double> interval, std::function<void()> tick) override {
    stop();
    timer_ = loop_.every(Seconds(interval.count()), std::move(tick));
  }
  void stop() override {
    loop_.cancel(timer_);
    timer_ = 0;
  }
  std::chrono::steady_clock::time_point now() const override { return loop_.now(); }

 private:
  MainLoop& loop_;
  MainLoop::TimerId timer_ = 0;
};

}  // namespace quorvel
