// Runs the shell's timers and posted work on the Qt event loop.
#include "ui/QtMainLoop.h"

#include <QMetaObject>
#include <algorithm>
#include <cmath>

namespace quorvel {

QtMainLoop::QtMainLoop() = default;

QtMainLoop::~QtMainLoop() {
  for (auto& [id, timer] : timers_) delete timer.data();
}

void QtMainLoop::post(std::function<void()> work) {
  QMetaObject::invokeMethod(&context_, [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

MainLoop::TimerId QtMainLoop::after(Seconds delay, std::function<void()> work) {
  return schedule(delay, false, std::move(work));
}

MainLoop::TimerId QtMainLoop::every(Seconds interval, std::function<void()> work) {
  return schedule(interval, true, std::move(work));
}

MainLoop::TimerId QtMainLoop::schedule(Seconds interval, bool repeat, std::function<void()> work) {
  const TimerId id = nextId_++;
  auto* timer = new QTimer(&context_);
  timer->setSingleShot(!repeat);
  timer->setTimerType(Qt::PreciseTimer);
  const double ms = interval.count() * 1000.0;
  timer->setInterval(std::isfinite(ms) ? static_cast<int>(std::clamp(ms, 0.0, 2.0e9)) : 0);
  QObject::connect(timer, &QTimer::timeout, timer, [this, id, repeat, work = std::move(work)] {
    if (!repeat) cancel(id);  // forget a one-shot before it runs, so it may schedule again
    work();
  });
  timers_.emplace(id, timer);
  timer->start();
  return id;
}

void QtMainLoop::cancel(TimerId id) {
  const auto found = timers_.find(id);
  if (found == timers_.end()) return;
  if (QTimer* timer = found->second.data()) {
    timer->stop();
    timer->deleteLater();
  }
  timers_.erase(found);
}

Clock::time_point QtMainLoop::now() const { return Clock::now(); }

}  // namespace quorvel
