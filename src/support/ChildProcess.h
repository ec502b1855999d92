// Child processes started with posix_spawn: extra environment entries, output
// into a log file, terminate, wait with a bound, is-running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/Result.h"

namespace quorvel {

struct LaunchOptions {
  std::string executable;               // a path; no PATH search
  std::vector<std::string> arguments;   // without the program name
  // Entries added to (or replacing those of) the parent's environment.
  std::map<std::string, std::string> extraEnvironment;
  // Standard output and error both go to this file when it can be opened for
  // writing; otherwise the child keeps the parent's.
  std::optional<fs::path> outputFile;
  // The child is sent SIGTERM when this process ends, however it ends (a crash
  // or a kill included), so helpers never outlive us holding ports and memory.
  // Such children are started from one long-lived thread of this process,
  // because the kernel ties the signal to the thread that forked, not to the
  // process.
  bool endWithParent = false;
};

// One started child. Not copyable; the object does not stop the child when it
// is destroyed (servers outlive their launcher by design), but reaps it if it
// has already ended. Its operations may be called from several threads.
class ChildProcess {
 public:
  static Result<std::unique_ptr<ChildProcess>> launch(const LaunchOptions& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool isRunning();
  // Sends SIGTERM once: nothing if it has ended or was already asked (a second
  // SIGTERM makes some servers abandon a clean shutdown).
  void terminate();
  // Sends SIGKILL (nothing if it has ended).
  void kill();
  // Waits until the child has ended; with a limit, answers whether it ended in time.
  bool waitForExit(std::optional<std::chrono::milliseconds> limit = std::nullopt);
  // The wait status once ended.
  std::optional<int> exitStatus() const;

 private:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  bool reap();  // REQUIRES: mutex_ held

  const pid_t pid_;
  mutable std::mutex mutex_;
  std::optional<int> status_;   // guarded by mutex_
  bool terminateSent_ = false;  // guarded by mutex_
};

// A readable account of a wait status: "exit status 1", "killed by signal 9".
std::string describeWaitStatus(int status);

// Finds an executable by name on PATH; nothing when absent.
std::optional<fs::path> findOnPath(const std::string& name);

}  // namespace quorvel
