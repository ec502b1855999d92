// The X11 key source on the test desktop: keys pressed through XTest reach it
// as raw events by key code, whatever the layout, and the poll sees them held.
#include "platform/linux/KeysX11.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <tuple>

#include "FieldsApp.h"
#include "HeardKeys.h"
#include "platform/linux/KeyLayoutXkb.h"

// Last: X11's macros (None, Bool, Status) clash with other headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace quorvel {
namespace {

using namespace std::chrono_literals;

class KeysX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::insideDesktopSession()) GTEST_SKIP() << "needs scripts/desktop-session";
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr);
    ASSERT_TRUE(keys_.start(recorded_.handler())) << keys_.problem();
  }
  void TearDown() override {
    keys_.stop();
    if (display_ != nullptr) XCloseDisplay(display_);
    std::system("setxkbmap us");
  }

  void press(int keycode, bool down) {
    XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), down ? True : False, CurrentTime);
    XFlush(display_);
  }

  Display* display_ = nullptr;
  testing::HeardKeys recorded_;  // outlives keys_, whose thread delivers to it
  KeysX11 keys_;
};

TEST_F(KeysX11Test, HearsRightAltHeldAndTheNoteTapWithOtherKeysBetween) {
  EXPECT_FALSE(keys_.isDown(ShellKey::dictation));
  press(KeysX11::rightAltKeycode, true);
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, true, true);
  EXPECT_TRUE(keys_.isDown(ShellKey::dictation));
  press(KeysX11::rightAltKeycode, false);
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, false, true);
  EXPECT_FALSE(keys_.isDown(ShellKey::dictation));

  press(KeysX11::rightSuperKeycode, true);
  EXPECT_NEXT_KEY(recorded_, ShellKey::note, true, true);
  press(38, true);  // "a": an ordinary key between press and release
  EXPECT_NEXT_KEY(recorded_, ShellKey::other, true, false);
  press(38, false);
  EXPECT_NEXT_KEY(recorded_, ShellKey::other, false, false);
  press(50, true);  // left Shift: another modifier
  EXPECT_NEXT_KEY(recorded_, ShellKey::other, true, true);
  press(50, false);
  EXPECT_NEXT_KEY(recorded_, ShellKey::other, false, true);
  press(KeysX11::rightSuperKeycode, false);
  EXPECT_NEXT_KEY(recorded_, ShellKey::note, false, true);
  EXPECT_TRUE(recorded_.quiet());
}

TEST_F(KeysX11Test, RightAltIsFoundByKeyCodeWhenTheLayoutMakesItAltGr) {
  ASSERT_EQ(std::system("setxkbmap de"), 0);
  std::this_thread::sleep_for(200ms);  // the mapping change reaches the source
  recorded_.clear();
  press(KeysX11::rightAltKeycode, true);
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, true, true);
  EXPECT_TRUE(keys_.isDown(ShellKey::dictation));
  press(KeysX11::rightAltKeycode, false);
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, false, true);
}

TEST_F(KeysX11Test, TheChosenKeysPlayTheirPartsAndTheLayoutSaysWhereAltGrIs) {
  constexpr int rightCtrl = 105, menu = 135, q = 24;
  keys_.setBinding({keycode::rightCtrl, keycode::menu});
  ASSERT_EQ(std::system("setxkbmap de"), 0);
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(keyIsAltGrNow(keycode::rightAlt));
  EXPECT_FALSE(keyIsAltGrNow(keycode::rightCtrl));
  recorded_.clear();
  // AltGr + q is only typing; right Ctrl dictates; Menu opens the note.
  press(KeysX11::rightAltKeycode, true);
  press(q, true);
  press(q, false);
  press(KeysX11::rightAltKeycode, false);
  for (const auto& [down, modifier, code] : {std::tuple{true, true, keycode::rightAlt}, std::tuple{true, false, 16},
                                              std::tuple{false, false, 16}, std::tuple{false, true, keycode::rightAlt}}) {
    const auto event = recorded_.next();
    ASSERT_TRUE(event);
    EXPECT_EQ(event->key, ShellKey::other);
    EXPECT_EQ(event->down, down);
    EXPECT_EQ(event->modifier, modifier);
    EXPECT_EQ(event->code, code);
  }
  press(rightCtrl, true);
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, true, true);
  EXPECT_TRUE(keys_.isDown(ShellKey::dictation));
  press(rightCtrl, false);
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, false, true);
  EXPECT_FALSE(keys_.isDown(ShellKey::dictation));
  press(menu, true);
  EXPECT_NEXT_KEY(recorded_, ShellKey::note, true, false);
  press(menu, false);
  EXPECT_NEXT_KEY(recorded_, ShellKey::note, false, false);

  ASSERT_EQ(std::system("setxkbmap us"), 0);
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(keyIsAltGrNow(keycode::rightAlt));
}

TEST_F(KeysX11Test, AMouseSideButtonCanDictateOtherButtonsAreNeverHeard) {
  keys_.setBinding({keycode::mouseBack, keycode::rightSuper});
  XTestFakeButtonEvent(display_, 1, True, CurrentTime);
  XTestFakeButtonEvent(display_, 1, False, CurrentTime);
  XTestFakeButtonEvent(display_, 8, True, CurrentTime);
  XFlush(display_);
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, true, false);
  EXPECT_TRUE(keys_.isDown(ShellKey::dictation));
  XTestFakeButtonEvent(display_, 8, False, CurrentTime);
  XFlush(display_);
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, false, false);
  EXPECT_FALSE(keys_.isDown(ShellKey::dictation));
  XTestFakeButtonEvent(display_, 9, True, CurrentTime);
  XTestFakeButtonEvent(display_, 9, False, CurrentTime);
  XFlush(display_);
  const auto forward = recorded_.next();
  ASSERT_TRUE(forward);
  EXPECT_EQ(forward->key, ShellKey::other);
  EXPECT_EQ(forward->code, keycode::mouseForward);
}

// The paste chord lets go of a held right Alt and presses it again; the
// recording under way must not hear that as the user letting go.
TEST_F(KeysX11Test, ItsOwnRightAltReleaseAndPressAreNotTheUsers) {
  press(KeysX11::rightAltKeycode, true);
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, true, true);
  // Both are announced before either is sent, as the paster does.
  keys_.expectOwnRightAlt(false);
  keys_.expectOwnRightAlt(true);
  press(KeysX11::rightAltKeycode, false);
  EXPECT_TRUE(keys_.isDown(ShellKey::dictation));  // the gap before our press
  press(KeysX11::rightAltKeycode, true);
  press(38, true);
  EXPECT_NEXT_KEY(recorded_, ShellKey::other, true, false);  // our echoes were dropped
  press(38, false);
  EXPECT_NEXT_KEY(recorded_, ShellKey::other, false, false);
  EXPECT_TRUE(keys_.isDown(ShellKey::dictation));
  press(KeysX11::rightAltKeycode, false);  // the user lets go
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, false, true);
  EXPECT_FALSE(keys_.isDown(ShellKey::dictation));

  // An announced echo that never comes is forgotten: the user's keys count.
  keys_.expectOwnRightAlt(false);
  std::this_thread::sleep_for(1100ms);
  press(KeysX11::rightAltKeycode, true);
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, true, true);
  press(KeysX11::rightAltKeycode, false);
  EXPECT_NEXT_KEY(recorded_, ShellKey::dictation, false, true);
}

TEST_F(KeysX11Test, StopsDeliveringAfterStopAndCanStartAgain) {
  keys_.stop();
  press(38, true);
  press(38, false);
  EXPECT_TRUE(recorded_.quiet());
  ASSERT_TRUE(keys_.start(recorded_.handler()));
  press(KeysX11::rightSuperKeycode, true);
  EXPECT_NEXT_KEY(recorded_, ShellKey::note, true, true);
  press(KeysX11::rightSuperKeycode, false);
  EXPECT_NEXT_KEY(recorded_, ShellKey::note, false, true);
}

TEST(KeysX11WithoutDisplay, SaysWhyAndIsNeverDown) {
  const char* saved = std::getenv("DISPLAY");
  std::string previous = saved ? saved : "";
  unsetenv("DISPLAY");
  KeysX11 keys;
  EXPECT_FALSE(keys.start([](const KeyEvent&) {}));
  EXPECT_EQ(keys.problem(), "no X display (DISPLAY is not set)");
  EXPECT_FALSE(keys.isDown(ShellKey::dictation));
  setenv("DISPLAY", ":999", 1);  // nobody serves it
  EXPECT_FALSE(keys.start([](const KeyEvent&) {}));
  EXPECT_EQ(keys.problem(), "cannot open X display :999");
  if (saved) setenv("DISPLAY", previous.c_str(), 1);
  else unsetenv("DISPLAY");
}

}  // namespace
}  // namespace quorvel
