// The sound server's input sources, for the settings page's microphone list:
// a short-lived PulseAudio connection (PipeWire's pulse server answers too)
// that asks once and goes. Monitors of outputs are left out: they record what
// the computer plays, not the user.
#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "app/desktop/Microphones.h"

namespace quorvel {

// The sources in the server's order; nothing when no sound server answered
// within limit. Blocks its caller for at most about limit.
std::optional<std::vector<MicSource>> listMicSources(
    std::chrono::milliseconds limit = std::chrono::milliseconds(1000));

}  // namespace quorvel
