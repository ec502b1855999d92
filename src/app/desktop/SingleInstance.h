// One running copy per user: a lock in the runtime folder held for the life of
// the process, and a local socket through which a newer start can ask the
// running copy to show itself or to quit.
//
// Threading: main thread only; requests from other copies arrive through the
// handler, on the thread that calls poll() (the adapter's owner posts them).
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
