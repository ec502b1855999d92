// Runs the shell's background tasks on their own threads.
#include "app/core/TaskRunner.h"

#include <thread>

#include "support/Log.h"

namespace quorvel {

ThreadTaskRunner::~ThreadTaskRunner() {
  // Tasks capture what they use by shared ownership; a task still waiting on a
  // server is left to end on its own rather than holding up the quit.
  (void)waitIdle(std::chrono::milliseconds(2000));
}

void ThreadTaskRunner::run(std::function<void()> task) {
  {
    std::scoped_lock lock(count_->mutex);
    ++count_->running;
  }
  std::thread([count = count_, task = std::move(task)] {
    try {
      task();
    } catch (const std::exception& error) {
      logLine(std::string("Quorvel: a background task failed: ") + error.what());
    } catch (...) {
      logLine("Quorvel: a background task failed");
    }
    std::scoped_lock lock(count->mutex);
    --count->running;
    count->idle.notify_all();
  }).detach();
}

bool ThreadTaskRunner::waitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(count_->mutex);
  return count_->idle.wait_for(lock, timeout, [this] { return count_->running == 0; });
}

}  // namespace quorvel
