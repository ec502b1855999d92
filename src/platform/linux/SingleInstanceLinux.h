// One running copy per user on Linux: an flock on "quorvel.lock" in
// $XDG_RUNTIME_DIR (else a private folder under /tmp) held for the life of
// the process, and a Unix socket "quorvel.sock" beside it on which the copy
// that holds the lock takes one-line requests from later copies.
//
// Threading: main thread only. The owner calls poll() now and then (every
// 0.2 s is plenty); requests reach the handler inside poll().
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "app/desktop/SingleInstance.h"

namespace quorvel {

class SingleInstanceLinux : public SingleInstance {
 public:
  // folder: where the lock and the socket live (tests); by default the
  // runtime folder.
  SingleInstanceLinux();
  explicit SingleInstanceLinux(std::filesystem::path folder);
  ~SingleInstanceLinux() override;
  SingleInstanceLinux(const SingleInstanceLinux&) = delete;
  SingleInstanceLinux& operator=(const SingleInstanceLinux&) = delete;

  std::optional<OtherCopy> acquire() override;
  bool send(InstanceRequest request) override;
  void onRequest(std::function<void(InstanceRequest)> handler) override;

  // Serves waiting requests without blocking. Does nothing until acquire()
  // made us the running copy.
  void poll();

  // Whether that process still exists.
  static bool isRunning(pid_t pid);
  // Kills the other copy, but only when its executable is a Quorvel program
  // (same file name as ours, or the very same file) and it runs as this
  // user; answers whether it was sent the signal. Anything else is logged
  // and left alone.
  static bool forceStop(const OtherCopy& other);

  // The runtime folder the lock lives in by default.
  static std::filesystem::path defaultFolder();

 private:
  std::optional<OtherCopy> holder();

  std::filesystem::path folder_;
  int lockFd_ = -1;
  int listenFd_ = -1;
  std::function<void(InstanceRequest)> handler_;
};

}  // namespace quorvel
