// One running copy per user: a lock in the runtime folder held for the life of
// the process, and a local socket through which a newer start can ask the
// running copy to show itself or to quit.
//
// What every adapter promises:
// - Threading: main thread only. Requests from later copies reach the
//   handler on the main thread, when the owner lets the adapter serve them
//   (SingleInstanceLinux::poll on a main-loop timer).
// - Blocking: acquire() never waits for the lock; send() waits at most a
//   second for each step of the exchange with the running copy; serving a
//   request waits at most 0.2 s for a slow or silent sender.
// - Lifetime: the lock is held from acquire() until the object is destroyed
//   (or the process ends); only processes of the same user are heard.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace quorvel {

struct OtherCopy {
  pid_t pid = 0;
  std::string executable;  // its /proc/PID/exe target, "" when unknown
};

enum class InstanceRequest {
  reopen,  // a second start from the same program: show the dashboard
  quit,    // "Use This Copy" in a copy started from elsewhere
};

class SingleInstance {
 public:
  virtual ~SingleInstance() = default;
  // Takes the lock. Nothing when we are the only copy (we then serve the
  // socket); otherwise the copy that holds it.
  virtual std::optional<OtherCopy> acquire() = 0;
  // Sends a request to the copy that holds the lock; false when it can't be
  // reached.
  virtual bool send(InstanceRequest request) = 0;
  // Requests from later copies, once acquire() gave nothing.
  virtual void onRequest(std::function<void(InstanceRequest)> handler) = 0;
};

}  // namespace quorvel
