// Short readiness waits for tests that start model servers on loopback: the
// product's waits (minutes) shrunk to a few seconds, every one still bounded.
// Header-only, for test programs that link the engine.
#pragma once

#include <chrono>

#include "engine/Servers.h"

namespace quorvel::testing {

inline ServerWaits quickServerWaits(int probes = 100) {
  using namespace std::chrono_literals;
  ServerWaits waits;
  waits.probeTimeout = 1000ms;
  waits.probePause = 50ms;
  waits.whisperProbes = probes;
  waits.llamaProbes = probes;
  waits.readyPause = 50ms;
  waits.trialProbes = 100;
  waits.trialPause = 50ms;
  waits.staleSettle = 100ms;
  waits.exitGrace = 5000ms;
  return waits;
}

}  // namespace quorvel::testing
