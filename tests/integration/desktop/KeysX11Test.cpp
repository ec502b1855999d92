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

#include "FieldsApp.h"

// Last: X11's macros (None, Bool, Status) clash with other headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace quorvel {
namespace {

using namespace std::chrono_literals;

// Events as the source delivers them, on its thread.
class Recorded {
 public:
  void add(const KeyEvent& event) {
    std::scoped_lock lock(mutex_);
    events_.push_back(event);
    changed_.notify_all();
  }
  // The next event, or nothing within five seconds (a loaded machine can be
  // slow to hand one over; a missing event still fails in bounded time).
  std::optional<KeyEvent> next() {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, 5s, [&] { return !events_.empty(); })) return std::nullopt;
    KeyEvent event = events_.front();
    events_.pop_front();
    return event;
  }
  // Forgets what arrived so far.
  void clear() {
    std::scoped_lock lock(mutex_);
    events_.clear();
  }
  bool quiet() {
    std::this_thread::sleep_for(100ms);
    std::scoped_lock lock(mutex_);
    return events_.empty();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<KeyEvent> events_;
};

class KeysX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::insideDesktopSession()) GTEST_SKIP() << "needs scripts/desktop-session";
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr);
    ASSERT_TRUE(keys_.start([this](const KeyEvent& event) { recorded_.add(event); }))
        << keys_.problem();
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

  void expectEvent(ShellKey key, bool down, bool modifier) {
    auto event = recorded_.next();
    ASSERT_TRUE(event) << "no key event arrived";
    EXPECT_EQ(event->key, key);
    EXPECT_EQ(event->down, down);
    EXPECT_EQ(event->modifier, modifier);
  }

  Display* display_ = nullptr;
  Recorded recorded_;
  KeysX11 keys_;
};

TEST_F(KeysX11Test, HearsRightAltHeldAndTheNoteTapWithOtherKeysBetween) {
  EXPECT_FALSE(keys_.isDown(ShellKey::rightAlt));
  press(KeysX11::rightAltKeycode, true);
  expectEvent(ShellKey::rightAlt, true, true);
  EXPECT_TRUE(keys_.isDown(ShellKey::rightAlt));
  press(KeysX11::rightAltKeycode, false);
  expectEvent(ShellKey::rightAlt, false, true);
  EXPECT_FALSE(keys_.isDown(ShellKey::rightAlt));

  press(KeysX11::rightSuperKeycode, true);
  expectEvent(ShellKey::rightSuper, true, true);
  press(38, true);  // "a": an ordinary key between press and release
  expectEvent(ShellKey::other, true, false);
  press(38, false);
  expectEvent(ShellKey::other, false, false);
  press(50, true);  // left Shift: another modifier
  expectEvent(ShellKey::other, true, true);
  press(50, false);
  expectEvent(ShellKey::other, false, true);
  press(KeysX11::rightSuperKeycode, false);
  expectEvent(ShellKey::rightSuper, false, true);
  EXPECT_TRUE(recorded_.quiet());
}

TEST_F(KeysX11Test, RightAltIsFoundByKeyCodeWhenTheLayoutMakesItAltGr) {
  ASSERT_EQ(std::system("setxkbmap de"), 0);
  std::this_thread::sleep_for(200ms);  // the mapping change reaches the source
  recorded_.clear();
  press(KeysX11::rightAltKeycode, true);
  expectEvent(ShellKey::rightAlt, true, true);
  EXPECT_TRUE(keys_.isDown(ShellKey::rightAlt));
  press(KeysX11::rightAltKeycode, false);
  expectEvent(ShellKey::rightAlt, false, true);
}

// The paste chord lets go of a held right Alt and presses it again; the
// recording under way must not hear that as the user letting go.
TEST_F(KeysX11Test, ItsOwnRightAltReleaseAndPressAreNotTheUsers) {
  press(KeysX11::rightAltKeycode, true);
  expectEvent(ShellKey::rightAlt, true, true);
  // Both are announced before either is sent, as the paster does.
  keys_.expectOwnRightAlt(false);
  keys_.expectOwnRightAlt(true);
  press(KeysX11::rightAltKeycode, false);
  EXPECT_TRUE(keys_.isDown(ShellKey::rightAlt));  // the gap before our press
  press(KeysX11::rightAltKeycode, true);
  press(38, true);
  expectEvent(ShellKey::other, true, false);  // our echoes were dropped
  press(38, false);
  expectEvent(ShellKey::other, false, false);
  EXPECT_TRUE(keys_.isDown(ShellKey::rightAlt));
  press(KeysX11::rightAltKeycode, false);  // the user lets go
  expectEvent(ShellKey::rightAlt, false, true);
  EXPECT_FALSE(keys_.isDown(ShellKey::rightAlt));

  // An announced echo that never comes is forgotten: the user's keys count.
  keys_.expectOwnRightAlt(false);
  std::this_thread::sleep_for(1100ms);
  press(KeysX11::rightAltKeycode, true);
  expectEvent(ShellKey::rightAlt, true, true);
  press(KeysX11::rightAltKeycode, false);
  expectEvent(ShellKey::rightAlt, false, true);
}

TEST_F(KeysX11Test, StopsDeliveringAfterStopAndCanStartAgain) {
  keys_.stop();
  press(38, true);
  press(38, false);
  EXPECT_TRUE(recorded_.quiet());
  ASSERT_TRUE(keys_.start([this](const KeyEvent& event) { recorded_.add(event); }));
  press(KeysX11::rightSuperKeycode, true);
  expectEvent(ShellKey::rightSuper, true, true);
  press(KeysX11::rightSuperKeycode, false);
  expectEvent(ShellKey::rightSuper, false, true);
}

TEST(KeysX11WithoutDisplay, SaysWhyAndIsNeverDown) {
  const char* saved = std::getenv("DISPLAY");
  std::string previous = saved ? saved : "";
  unsetenv("DISPLAY");
  KeysX11 keys;
  EXPECT_FALSE(keys.start([](const KeyEvent&) {}));
  EXPECT_EQ(keys.problem(), "no X display (DISPLAY is not set)");
  EXPECT_FALSE(keys.isDown(ShellKey::rightAlt));
  setenv("DISPLAY", ":999", 1);  // nobody serves it
  EXPECT_FALSE(keys.start([](const KeyEvent&) {}));
  EXPECT_EQ(keys.problem(), "cannot open X display :999");
  if (saved) setenv("DISPLAY", previous.c_str(), 1);
  else unsetenv("DISPLAY");
}

}  // namespace
}  // namespace quorvel
