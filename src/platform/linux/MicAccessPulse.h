// Whether the sound server lets us record: it answers and has a default
// source (allowed), it refuses our connection (denied), or there is no server
// or no source at all (restricted). Asks once, bounded in time.
#pragma once

#include <chrono>

#include "app/permissions/Diagnostics.h"

namespace quorvel {

MicrophoneAccess pulseMicrophoneAccess(
    std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

}  // namespace quorvel
