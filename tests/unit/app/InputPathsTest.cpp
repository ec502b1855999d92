// The session's key and typing paths: the portals first, then the devices,
// then XWayland, with the hand-chosen overrides, and the reasons said.
#include "app/permissions/InputPaths.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

SessionFacts wayland() {
  SessionFacts facts;
  facts.wayland = true;
  facts.x11 = true;  // XWayland
  return facts;
}

TEST(InputPaths, EachHalfTakesTheFirstWayTheSessionOffers) {
  struct Case {
    const char* name;
    SessionFacts facts;
    KeysPath keys;
    TypingPath typing;
  };
  SessionFacts portals = wayland();
  portals.globalShortcutsVersion = 1;
  portals.remoteDesktopVersion = 2;
  SessionFacts typingPortalOnly = wayland();  // GNOME before 48: no global shortcuts
  typingPortalOnly.remoteDesktopVersion = 2;
  typingPortalOnly.keyboardsReadable = true;
  SessionFacts pointerOnly = portals;  // a remote desktop without a keyboard
  pointerOnly.remoteDesktopKeyboard = false;
  pointerOnly.uinputWritable = true;
  SessionFacts devices = wayland();
  devices.keyboardsReadable = true;
  devices.uinputWritable = true;
  SessionFacts nothing = wayland();
  SessionFacts nothingNoXWayland = wayland();
  nothingNoXWayland.x11 = false;
  SessionFacts x11;
  x11.x11 = true;
  x11.remoteDesktopVersion = 2;  // never asked in X11, and not used if known
  SessionFacts none;
  const Case cases[] = {
      {"portals", portals, KeysPath::globalShortcuts, TypingPath::remoteDesktop},
      {"typing portal only", typingPortalOnly, KeysPath::evdev, TypingPath::remoteDesktop},
      {"pointer only", pointerOnly, KeysPath::globalShortcuts, TypingPath::uinput},
      {"devices", devices, KeysPath::evdev, TypingPath::uinput},
      {"nothing but XWayland", nothing, KeysPath::xwayland, TypingPath::xwayland},
      {"nothing at all", nothingNoXWayland, KeysPath::evdev, TypingPath::uinput},
      {"x11", x11, KeysPath::x11, TypingPath::xtest},
      {"no session", none, KeysPath::none, TypingPath::none},
  };
  for (const Case& c : cases) {
    const InputPaths paths = chooseInputPaths(c.facts);
    EXPECT_EQ(paths.keys, c.keys) << c.name;
    EXPECT_EQ(paths.typing, c.typing) << c.name;
    EXPECT_FALSE(paths.keysReason.empty()) << c.name;
    EXPECT_FALSE(paths.typingReason.empty()) << c.name;
    EXPECT_EQ(beyondX11(paths), c.facts.wayland) << c.name;
  }
}

TEST(InputPaths, TheOverrideChoosesByHandAndAnUnknownOneIsSaid) {
  SessionFacts facts = wayland();
  facts.globalShortcutsVersion = 1;
  facts.remoteDesktopVersion = 2;
  facts.keysOverride = "evdev";
  EXPECT_EQ(chooseInputPaths(facts), (InputPaths{KeysPath::evdev, "QUORVEL_KEYS=evdev", TypingPath::uinput,
                                                 "QUORVEL_KEYS=evdev"}));
  facts.keysOverride = "x11";
  EXPECT_EQ(chooseInputPaths(facts).typing, TypingPath::xtest);
  SessionFacts x11;
  x11.x11 = true;
  x11.keysOverride = "portal";  // an X11 session can use the portals too
  EXPECT_EQ(chooseInputPaths(x11).keys, KeysPath::globalShortcuts);
  EXPECT_EQ(chooseInputPaths(x11).typing, TypingPath::remoteDesktop);
  facts.keysOverride = "gamepad";
  const InputPaths paths = chooseInputPaths(facts);
  EXPECT_EQ(paths.keys, KeysPath::globalShortcuts);
  EXPECT_NE(paths.keysReason.find("(QUORVEL_KEYS=gamepad is neither x11, evdev nor portal)"), std::string::npos);
}

TEST(InputPaths, TheWindowInFrontIsAskedOfX11OnlyOutsideWayland) {
  struct Case {
    bool wayland, x11;
    FrontWindowPath path;
  };
  const Case cases[] = {
      {false, true, FrontWindowPath::x11},
      {true, true, FrontWindowPath::accessibilityOnly},  // XWayland's display does not count
      {true, false, FrontWindowPath::accessibilityOnly},
      {false, false, FrontWindowPath::x11},  // nothing to find, as without an X connection
  };
  for (const Case& c : cases) {
    SessionFacts facts;
    facts.wayland = c.wayland;
    facts.x11 = c.x11;
    facts.keysOverride = "x11";  // keys chosen by hand never change where the front window is found
    const FrontWindowChoice choice = chooseFrontWindow(facts);
    EXPECT_EQ(choice.path, c.path) << choice.reason;
    EXPECT_FALSE(choice.reason.empty());
  }
}

TEST(InputPaths, TheLogLineNamesBothHalvesAndWhy) {
  SessionFacts facts = wayland();
  facts.remoteDesktopVersion = 1;
  facts.keyboardsReadable = true;
  EXPECT_EQ(describeInputPaths(chooseInputPaths(facts)),
            "keys through the keyboard devices (input group) (a Wayland session without global shortcuts; the "
            "keyboard devices can be read); typing through the desktop's remote desktop portal (a Wayland session "
            "whose desktop offers remote desktop keyboards)");
}

}  // namespace
}  // namespace quorvel
