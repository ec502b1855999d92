// The main loop on Qt: posted work as queued calls on the application object,
// timers as QTimer objects owned here.
//
// Threading: construct and use on the Qt main thread; post() from any thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <unordered_map>

#include "app/core/MainLoop.h"

namespace quorvel {

class QtMainLoop final : public MainLoop {
 public:
  QtMainLoop();
  ~QtMainLoop() override;
  QtMainLoop(const QtMainLoop&) = delete;
  QtMainLoop& operator=(const QtMainLoop&) = delete;

  void post(std::function<void()> work) override;
  TimerId after(Seconds delay, std::function<void()> work) override;
  TimerId every(Seconds interval, std::function<void()> work) override;
  void cancel(TimerId timer) override;
  Clock::time_point now() const override;

 private:
  TimerId schedule(Seconds interval, bool repeat, std::function<void()> work);

  QObject context_;  // receiver of posted calls; lives on the main thread
  TimerId nextId_ = 1;
  std::unordered_map<TimerId, QPointer<QTimer>> timers_;
};

}  // namespace quorvel
