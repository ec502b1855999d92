// Which key source each kind of session gets.
#include "platform/linux/KeyBackend.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(KeyBackend, ChosenFromTheSession) {
  using O = std::optional<std::string>;
  struct Case {
    O keys, wayland, display;
    KeyBackend backend;
    const char* reason;
  };
  const Case cases[] = {
      {{}, {}, ":0", KeyBackend::x11, "an X11 session"},
      {{}, "wayland-0", ":0", KeyBackend::evdev, "a Wayland session"},  // XWayland's DISPLAY too
      {{}, "wayland-0", {}, KeyBackend::evdev, "a Wayland session"},
      {"x11", "wayland-0", ":0", KeyBackend::x11, "QUORVEL_KEYS=x11"},
      {"evdev", {}, ":0", KeyBackend::evdev, "QUORVEL_KEYS=evdev"},
      {"gamepad", {}, ":0", KeyBackend::x11,
       "an X11 session (QUORVEL_KEYS=gamepad is neither x11, evdev nor portal)"},
      {{}, "", "", KeyBackend::none,
       "no desktop session (neither WAYLAND_DISPLAY nor DISPLAY is set)"},
      {{}, {}, {}, KeyBackend::none,
       "no desktop session (neither WAYLAND_DISPLAY nor DISPLAY is set)"},
  };
  for (const Case& c : cases) {
    const auto choice = chooseKeyBackend(c.keys, c.wayland, c.display);
    EXPECT_EQ(choice.backend, c.backend) << c.reason;
    EXPECT_EQ(choice.reason, c.reason);
  }
}

TEST(KeyBackend, MakesTheSourceItNames) {
  EXPECT_TRUE(makeKeySource({KeyBackend::x11, ""}));
  EXPECT_TRUE(makeKeySource({KeyBackend::evdev, ""}));
  EXPECT_FALSE(makeKeySource({KeyBackend::none, ""}));
}

}  // namespace
}  // namespace quorvel
