// Which way a text takes on Wayland: the paste chord after the clipboard took
// it, typing when the clipboard is refused or missing, and a clear refusal
// when neither can work. The virtual keyboard is a pipe read back here.
#include "platform/linux/PasterWayland.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace quorvel {
namespace {

using namespace std::chrono_literals;

struct Key {
  unsigned short type, code;
  int value;
  bool operator==(const Key&) const = default;
};

// What the clipboard side does with a paste.
enum class Clipboard { takesIt, refusesIt, missing };

class FakeClipboard final : public Paster {
 public:
  FakeClipboard(Clipboard behaviour, ClipboardHooks hooks) : behaviour_(behaviour), hooks_(std::move(hooks)) {}
  bool paste(const std::string& text, PasteChord chord) override {
    switch (behaviour_) {
      case Clipboard::takesIt: (void)hooks_.sendChord(chord); return true;
      case Clipboard::refusesIt: hooks_.refused(text, chord); return true;
      case Clipboard::missing: return false;
    }
    return false;
  }
  bool copy(const std::string&) override { return behaviour_ != Clipboard::missing; }
  std::string problem() const override { return behaviour_ == Clipboard::missing ? "no X display" : ""; }

 private:
  Clipboard behaviour_;
  ClipboardHooks hooks_;
};

class PasterWaylandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipe2(pipe_, O_CLOEXEC), 0);
    ASSERT_EQ(fcntl(pipe_[0], F_SETFL, O_NONBLOCK), 0);
  }
  void TearDown() override {
    paster_.reset();
    for (int fd : pipe_) close(fd);
  }

  void make(Clipboard clipboard, int keyboardRefusals = 0) {
    PasterWayland::Parts parts;
    parts.rightAltHeld = [this] { return rightAltHeld_.load(); };
    parts.rightAltWait = 2s;
    auto refusals = std::make_shared<int>(keyboardRefusals);
    parts.makeKeyboard = [this, refusals](DeviceProblem& problem) -> std::unique_ptr<KeyEventSink> {
      if ((*refusals)-- > 0) {
        problem = {DeviceError::noPermission, "no permission to write /dev/uinput"};
        return nullptr;
      }
      return std::make_unique<FdKeyEventSink>(pipe_[1]);
    };
    parts.layout = [](std::string& source) {
      source = "a test";
      KeyLayout layout;
      layout.name = "dvorak-ish";
      layout.keys = {{U'h', {KEY_J, false, false}}, {U'H', {KEY_J, true, false}},
                     {U'i', {KEY_G, false, false}}, {U'v', {KEY_DOT, false, false}}};
      return layout;
    };
    parts.makeClipboard = [clipboard](ClipboardHooks hooks) -> std::unique_ptr<Paster> {
      return std::make_unique<FakeClipboard>(clipboard, std::move(hooks));
    };
    parts.keyPause = 0ms;
    paster_ = std::make_unique<PasterWayland>(std::move(parts));
    paster_->onLateFailure([this] { ++lateFailures_; });
  }

  std::vector<Key> written() {
    EXPECT_TRUE(paster_->waitUntilIdle(5s));
    std::vector<Key> keys;
    input_event e{};
    while (read(pipe_[0], &e, sizeof e) == static_cast<ssize_t>(sizeof e)) keys.push_back({e.type, e.code, e.value});
    return keys;
  }

  static std::vector<Key> keysOf(const std::vector<input_event>& events) {
    std::vector<Key> keys;
    for (const input_event& e : events) keys.push_back({e.type, e.code, e.value});
    return keys;
  }
  static std::vector<Key> typedHi() {
    return {{EV_KEY, KEY_LEFTSHIFT, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_J, 1}, {EV_SYN, SYN_REPORT, 0},
            {EV_KEY, KEY_J, 0},         {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_LEFTSHIFT, 0},
            {EV_SYN, SYN_REPORT, 0},    {EV_KEY, KEY_G, 1},      {EV_SYN, SYN_REPORT, 0},
            {EV_KEY, KEY_G, 0},         {EV_SYN, SYN_REPORT, 0}};
  }

  int pipe_[2] = {-1, -1};
  std::unique_ptr<PasterWayland> paster_;
  std::atomic<int> lateFailures_{0};
  std::atomic<bool> rightAltHeld_{false};
};

TEST_F(PasterWaylandTest, AClipboardThatTakesTheTextGetsTheChordWithTheLayoutsV) {
  make(Clipboard::takesIt);
  ASSERT_TRUE(paster_->paste("Hi", PasteChord::ctrlShiftV));
  EXPECT_EQ(written(), keysOf(pasteChordEvents(PasteChord::ctrlShiftV, KEY_DOT)));
}

TEST_F(PasterWaylandTest, ARefusedClipboardIsTypedKeyByKey) {
  make(Clipboard::refusesIt);
  ASSERT_TRUE(paster_->paste("Hi", PasteChord::ctrlV));
  EXPECT_EQ(written(), typedHi());
  EXPECT_EQ(lateFailures_, 0);
}

TEST_F(PasterWaylandTest, WithoutAClipboardTheTextIsTyped) {
  make(Clipboard::missing);
  ASSERT_TRUE(paster_->paste("Hi", PasteChord::ctrlV));
  EXPECT_EQ(written(), typedHi());
}

TEST_F(PasterWaylandTest, TextTheLayoutCannotTypeIsRefusedWholeAndSaidSo) {
  // Without a clipboard the caller hears it at once and keeps the text.
  make(Clipboard::missing);
  EXPECT_FALSE(paster_->paste("Hi €", PasteChord::ctrlV));
  EXPECT_TRUE(written().empty());
  // Refused by the clipboard later on: the owner is told.
  paster_.reset();
  make(Clipboard::refusesIt);
  EXPECT_TRUE(paster_->paste("Hi €", PasteChord::ctrlV));
  EXPECT_TRUE(written().empty());
  EXPECT_EQ(lateFailures_, 1);
}

TEST_F(PasterWaylandTest, WithoutPermissionForTheVirtualKeyboardNothingIsClaimed) {
  make(Clipboard::takesIt, 2);  // refused when made and at the first paste
  EXPECT_TRUE(paster_->needsPermission());
  EXPECT_EQ(paster_->problem(), "no permission to write /dev/uinput");
  EXPECT_FALSE(paster_->paste("Hi", PasteChord::ctrlV));
  EXPECT_TRUE(written().empty());
  // The permission arrived (the rule was reloaded): the next paste works.
  EXPECT_TRUE(paster_->paste("Hi", PasteChord::ctrlV));
  EXPECT_FALSE(paster_->needsPermission());
  EXPECT_EQ(paster_->problem(), "");
  EXPECT_EQ(written(), keysOf(pasteChordEvents(PasteChord::ctrlV, KEY_DOT)));
}

TEST_F(PasterWaylandTest, AHeldRightAltIsWaitedForSoItNeverJoinsTheChord) {
  make(Clipboard::takesIt);
  rightAltHeld_ = true;  // the next dictation is already under way
  ASSERT_TRUE(paster_->paste("Hi", PasteChord::ctrlV));
  std::this_thread::sleep_for(100ms);
  input_event e{};
  EXPECT_LT(read(pipe_[0], &e, sizeof e), 0);  // nothing sent yet
  rightAltHeld_ = false;
  EXPECT_EQ(written(), keysOf(pasteChordEvents(PasteChord::ctrlV, KEY_DOT)));
}

TEST_F(PasterWaylandTest, CopyGoesToTheClipboardOnly) {
  make(Clipboard::takesIt);
  EXPECT_TRUE(paster_->copy("Hi"));
  EXPECT_TRUE(written().empty());
  paster_.reset();
  make(Clipboard::missing);
  EXPECT_FALSE(paster_->copy("Hi"));
}

}  // namespace
}  // namespace quorvel
