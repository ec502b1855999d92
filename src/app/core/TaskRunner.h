// Where the shell's slow work runs: deliveries, the model setup and upgrades.
// Each task runs off the main thread and hops back through MainLoop::post for
// every change the user sees. Tests use a runner whose tasks they run by hand,
// in any order, so "the later dictation finished first" is a plain test.
//
// Threading: run() is called on the main thread; tasks run elsewhere.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace quorvel {

class TaskRunner {
 public:
  virtual ~TaskRunner() = default;
  virtual void run(std::function<void()> task) = 0;
};

// One detached thread per task, counted so the owner can wait (bounded) for
// the tasks still running before it tears down what they use.
class ThreadTaskRunner final : public TaskRunner {
 public:
  ThreadTaskRunner() = default;
  ~ThreadTaskRunner() override;
  ThreadTaskRunner(const ThreadTaskRunner&) = delete;
  ThreadTaskRunner& operator=(const ThreadTaskRunner&) = delete;

  void run(std::function<void()> task) override;
  // Whether every task had ended within the timeout.
  bool waitIdle(std::chrono::milliseconds timeout);

 private:
  // Shared with the threads, which may outlive the runner after a quit.
  struct Count {
    std::mutex mutex;
    std::condition_variable idle;
    int running = 0;  // guarded by mutex
  };
  std::shared_ptr<Count> count_ = std::make_shared<Count>();
};

}  // namespace quorvel
