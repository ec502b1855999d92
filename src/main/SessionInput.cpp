// Choosing the session's key and typing adapters.
#include "main/SessionInput.h"

#include <cstdlib>

#include "platform/linux/InputAccessProbe.h"
#include "platform/linux/KeysX11.h"
#include "platform/linux/PasterWayland.h"
#include "platform/linux/PasterX11.h"
#include "support/Log.h"
#include "ui/GuiStart.h"

namespace quorvel {

std::optional<std::string> prepareSession(const KeyBackendChoice& choice) {
  if (choice.backend == KeyBackend::none) {
    return "Quorvel can't start here: " + choice.reason +
           ". Start it from your desktop, or see quorvel --help for the modes that run without one.";
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const std::string platform = chooseQtPlatform(false, std::getenv("QT_QPA_PLATFORM"), display, wayland);
  if (!platform.empty()) ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
  logLine("Quorvel: keys and typing for " + choice.reason + (platform.empty() ? "" : "; windows through " + platform));
  if (platform == "wayland" || (platform.empty() && wayland != nullptr && *wayland != '\0')) {
    logLine("Quorvel: no XWayland (DISPLAY is not set): the tag can't be placed or kept on top, and "
            "dictations are typed key by key");
  }
  return std::nullopt;
}

SessionInput makeSessionInput(const KeyBackendChoice& choice) {
  SessionInput input;
  if (choice.backend == KeyBackend::evdev) {
    input.keys = makeKeySource(choice);
    PasterWayland::Parts parts = PasterWayland::systemParts();
    parts.rightAltHeld = [keys = input.keys.get()] { return keys->isDown(ShellKey::dictation); };
    input.paster = std::make_unique<PasterWayland>(std::move(parts));
  } else {
    auto keys = std::make_unique<KeysX11>();
    PasterX11::Settings settings;
    // The paster goes first (declared after the keys), so the keys outlive
    // these questions.
    settings.userHoldsRightAlt = [keys = keys.get()] { return keys->isDown(ShellKey::dictation); };
    settings.beforeOwnRightAlt = [keys = keys.get()](bool down) { keys->expectOwnRightAlt(down); };
    input.keys = std::move(keys);
    input.paster = std::make_unique<PasterX11>(std::move(settings));
  }
  const bool wayland = choice.backend == KeyBackend::evdev;
  input.access = [wayland, keys = input.keys.get(), paster = input.paster.get()] {
    InputAccess access;
    access.wayland = wayland;
    if (!wayland) return access;
    access.readKeyboard = !keys->needsPermission();
    access.virtualKeyboard = !paster->needsPermission();
    if (!access.complete()) addInputAccessDetails(access);
    return access;
  };
  return input;
}

}  // namespace quorvel
