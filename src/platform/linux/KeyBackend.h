// Which key source a session gets: X11 raw events in an X11 session, evdev in
// a Wayland session (where X11 sees no global keys), QUORVEL_KEYS=x11|evdev
// to choose by hand, and a clear reason when there is no desktop at all.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/desktop/KeySource.h"

namespace quorvel {

enum class KeyBackend { x11, evdev, none };

struct KeyBackendChoice {
  KeyBackend backend = KeyBackend::none;
  std::string reason;  // why, in words for a log line
};

// From the values of QUORVEL_KEYS, WAYLAND_DISPLAY and DISPLAY.
KeyBackendChoice chooseKeyBackend(const std::optional<std::string>& keysOverride,
                                  const std::optional<std::string>& waylandDisplay,
                                  const std::optional<std::string>& x11Display);

// The same from the process environment.
KeyBackendChoice chooseKeyBackend();

// A key source for the choice (not started); nothing for KeyBackend::none.
std::unique_ptr<KeySource> makeKeySource(const KeyBackendChoice& choice);

}  // namespace quorvel
