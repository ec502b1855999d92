// Choosing and making the session's key source.
#include "platform/linux/KeyBackend.h"

#include "platform/linux/EvdevDevices.h"
#include "platform/linux/KeysEvdev.h"
#include "platform/linux/KeysX11.h"
#include "support/EnvironmentValues.h"

namespace quorvel {

KeyBackendChoice chooseKeyBackend(const std::optional<std::string>& keysOverride,
                                  const std::optional<std::string>& waylandDisplay,
                                  const std::optional<std::string>& x11Display) {
  if (keysOverride == "x11") return {KeyBackend::x11, "QUORVEL_KEYS=x11"};
  if (keysOverride == "evdev") return {KeyBackend::evdev, "QUORVEL_KEYS=evdev"};
  std::string ignored;
  if (keysOverride == "portal") {
    ignored = " (QUORVEL_KEYS=portal)";
  } else if (keysOverride && !keysOverride->empty()) {
    ignored = " (QUORVEL_KEYS=" + *keysOverride + " is neither x11, evdev nor portal)";
  }
  if (waylandDisplay && !waylandDisplay->empty()) {
    return {KeyBackend::evdev, "a Wayland session" + ignored};
  }
  if (x11Display && !x11Display->empty()) return {KeyBackend::x11, "an X11 session" + ignored};
  return {KeyBackend::none,
          "no desktop session (neither WAYLAND_DISPLAY nor DISPLAY is set)" + ignored};
}

KeyBackendChoice chooseKeyBackend() {
  return chooseKeyBackend(environmentValue("QUORVEL_KEYS"), environmentValue("WAYLAND_DISPLAY"),
                          environmentValue("DISPLAY"));
}

std::unique_ptr<KeySource> makeKeySource(const KeyBackendChoice& choice) {
  switch (choice.backend) {
    case KeyBackend::x11: return std::make_unique<KeysX11>();
    case KeyBackend::evdev: return std::make_unique<KeysEvdev>(std::make_unique<UdevKeyboards>());
    case KeyBackend::none: return nullptr;
  }
  return nullptr;
}

}  // namespace quorvel
