// How far the first-run model setup has got: downloading (bytes and an
// estimate of the time left), starting the servers, ready, or failed with a
// message. A plain value; its one writer is the launch and setup flow.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

struct SetupInfo {
  enum class Phase { downloading, starting, ready, failed };

  Phase phase = Phase::ready;
  std::int64_t done = 0;                // bytes downloaded so far
  std::int64_t total = 0;               // bytes to download in all
  std::optional<double> secondsLeft;    // estimate until the download ends
  std::string message;                  // shown with the failed phase
  bool startFailed = false;             // failed: the files are here, the servers did not start
  bool justFinished = false;            // downloaded this launch, no dictation since

  // done / total within [0, 1]; 0 while the total is unknown (0 or less).
  double fraction() const;
  // The fraction as a whole percentage, 0 to 99: a running download never
  // shows 100.
  int percent() const;
  // The failed phase's headline: "The download didn't finish", or "The
  // models didn't start" when the download was not what failed.
  std::string failureTitle() const;
};

}  // namespace quorvel
