// Which window system the program asks Qt for.
#include "ui/GuiStart.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(GuiStartTest, ChoosesTheWindowSystemFromTheEnvironment) {
  struct Case {
    bool offscreen;
    const char* qtPlatform;
    const char* display;
    const char* wayland;
    std::string expected;
  };
  const Case cases[] = {
      {false, nullptr, ":0", nullptr, ""},                // plain X11: Qt's choice
      {false, nullptr, ":0", "wayland-0", "xcb"},         // Wayland with XWayland
      {false, nullptr, nullptr, "wayland-0", ""},         // Wayland only: nothing better
      {false, nullptr, nullptr, nullptr, "offscreen"},    // no display at all
      {false, nullptr, "", "", "offscreen"},              // empty counts as unset
      {true, nullptr, ":0", nullptr, "offscreen"},        // rendering to files
      {true, "xcb", ":0", nullptr, "xcb"},                // the user's explicit choice wins
      {false, "wayland", ":0", "wayland-0", "wayland"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(chooseQtPlatform(c.offscreen, c.qtPlatform, c.display, c.wayland), c.expected)
        << c.offscreen << " " << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-");
  }
}

}  // namespace
}  // namespace quorvel
