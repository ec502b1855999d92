// The evdev key source on recorded input_event streams: each fake keyboard
// is a socket pair whose far end the test writes, and whose key state the
// test sets.
#include "platform/linux/KeysEvdev.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

#include "HeardKeys.h"
#include "support/Log.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;

struct SharedState {
  std::mutex mutex;
  std::optional<KeyBits> keys;  // what the "kernel" says is held; nothing: unknown
};

class FakeKeyboard : public KeyboardDevice {
 public:
  FakeKeyboard(int fd, std::string name, std::shared_ptr<SharedState> state)
      : fd_(fd), name_(std::move(name)), state_(std::move(state)) {}
  ~FakeKeyboard() override { close(fd_); }
  int fd() const override { return fd_; }
  std::string name() const override { return name_; }
  std::optional<KeyBits> keyState() override {
    std::scoped_lock lock(state_->mutex);
    return state_->keys;
  }

 private:
  int fd_;
  std::string name_;
  std::shared_ptr<SharedState> state_;
};

// The test's end of one fake keyboard.
struct Plug {
  int fd = -1;  // write records here; close it to unplug
  std::shared_ptr<SharedState> state = std::make_shared<SharedState>();

  void send(std::vector<input_event> events) {
    const auto* bytes = reinterpret_cast<const char*>(events.data());
    ASSERT_EQ(write(fd, bytes, events.size() * sizeof(input_event)),
              static_cast<ssize_t>(events.size() * sizeof(input_event)));
  }
  void sendBytes(const std::string& bytes) {
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void unplug() {
    close(fd);
    fd = -1;
  }
  ~Plug() {
    if (fd >= 0) close(fd);
  }
};

input_event key(int code, int value) {
  input_event e{};
  e.type = EV_KEY;
  e.code = static_cast<unsigned short>(code);
  e.value = value;
  return e;
}
input_event syn(int code = SYN_REPORT) {
  input_event e{};
  e.type = EV_SYN;
  e.code = static_cast<unsigned short>(code);
  return e;
}

class FakeFinder : public KeyboardFinder {
 public:
  // Makes a keyboard; the first `present` ones are there at start, later ones
  // arrive through changesFd().
  std::unique_ptr<Plug> plugIn(bool atStart = true) {
    int pair[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    fcntl(pair[0], F_SETFL, O_NONBLOCK);
    auto plug = std::make_unique<Plug>();
    plug->fd = pair[1];
    auto device = std::make_unique<FakeKeyboard>(pair[0], "fake " + std::to_string(++count_), plug->state);
    std::scoped_lock lock(mutex_);
    if (atStart) {
      initial_.push_back(std::move(device));
    } else {
      later_.push_back(std::move(device));
      (void)!write(changes_[1], "x", 1);
    }
    return plug;
  }
  FakeFinder() { EXPECT_EQ(pipe2(changes_, O_CLOEXEC | O_NONBLOCK), 0); }
  ~FakeFinder() override {
    close(changes_[0]);
    close(changes_[1]);
  }
  std::vector<std::unique_ptr<KeyboardDevice>> present() override {
    std::scoped_lock lock(mutex_);
    return std::move(initial_);
  }
  int changesFd() const override { return changes_[0]; }
  std::vector<std::unique_ptr<KeyboardDevice>> added() override {
    char drain[16];
    while (read(changes_[0], drain, sizeof drain) > 0) {
    }
    std::scoped_lock lock(mutex_);
    return std::move(later_);
  }
  std::string problem() const override { return problem_; }
  DeviceError error() const override { return error_; }

  std::string problem_;
  DeviceError error_ = DeviceError::none;

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<KeyboardDevice>> initial_, later_;
  int changes_[2];
  int count_ = 0;
};

class KeysEvdevTest : public ::testing::Test {
 protected:
  KeysEvdevTest() : finder_(new FakeFinder), keys_(std::unique_ptr<KeyboardFinder>(finder_)) {}
  testing::HeardKeys heard_;  // outlives keys_, whose thread delivers to it
  FakeFinder* finder_;  // owned by keys_
  KeysEvdev keys_;
};

TEST_F(KeysEvdevTest, RightAltPressRepeatAndRelease) {
  auto keyboard = finder_->plugIn();
  ASSERT_TRUE(keys_.start(heard_.handler())) << keys_.problem();
  keyboard->send({key(KEY_RIGHTALT, 1), syn(), key(KEY_RIGHTALT, 2), syn(), key(KEY_RIGHTALT, 2),
                  syn(), key(KEY_RIGHTALT, 0), syn()});
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, true, true);
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, false, true);
  EXPECT_TRUE(heard_.quiet());  // repeats are not presses
}

TEST_F(KeysEvdevTest, TheChosenKeysPlayTheirPartsAndAltGrIsJustAnotherKey) {
  auto keyboard = finder_->plugIn();
  keys_.setBinding({KEY_RIGHTCTRL, KEY_COMPOSE});
  ASSERT_TRUE(keys_.start(heard_.handler()));
  // AltGr + q (typing "@" on a German layout), right Ctrl held, Menu tapped.
  keyboard->send({key(KEY_RIGHTALT, 1), syn(), key(KEY_Q, 1), syn(), key(KEY_Q, 0), syn(), key(KEY_RIGHTALT, 0),
                  syn(), key(KEY_RIGHTCTRL, 1), syn()});
  const struct {
    ShellKey key;
    bool down;
    bool modifier;
    int code;
  } expected[] = {
      {ShellKey::other, true, true, KEY_RIGHTALT},  {ShellKey::other, true, false, KEY_Q},
      {ShellKey::other, false, false, KEY_Q},       {ShellKey::other, false, true, KEY_RIGHTALT},
      {ShellKey::dictation, true, true, KEY_RIGHTCTRL},
  };
  for (const auto& want : expected) {
    const auto event = heard_.next();
    ASSERT_TRUE(event);
    EXPECT_EQ(event->key, want.key);
    EXPECT_EQ(event->down, want.down);
    EXPECT_EQ(event->modifier, want.modifier);
    EXPECT_EQ(event->code, want.code);
  }
  EXPECT_TRUE(keys_.isDown(ShellKey::dictation));  // right Ctrl, from what was read
  keyboard->send({key(KEY_RIGHTCTRL, 0), syn(), key(KEY_COMPOSE, 1), syn(), key(KEY_COMPOSE, 0), syn()});
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, false, true);
  EXPECT_NEXT_KEY(heard_, ShellKey::note, true, false);
  EXPECT_NEXT_KEY(heard_, ShellKey::note, false, false);
  // A change of choice takes effect with the next event.
  keys_.setBinding({KEY_RIGHTALT, KEY_RIGHTMETA});
  keyboard->send({key(KEY_RIGHTCTRL, 1), syn(), key(KEY_RIGHTALT, 1), syn()});
  EXPECT_NEXT_KEY(heard_, ShellKey::other, true, true);
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, true, true);
}

TEST_F(KeysEvdevTest, TheMouseSideButtonsCanBeChosenOtherButtonsAreNeverHeard) {
  auto keyboard = finder_->plugIn();
  keys_.setBinding({BTN_SIDE, KEY_RIGHTMETA});
  ASSERT_TRUE(keys_.start(heard_.handler()));
  keyboard->send({key(BTN_LEFT, 1), syn(), key(BTN_LEFT, 0), syn(), key(BTN_SIDE, 1), syn(), key(BTN_SIDE, 0), syn()});
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, true, false);
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, false, false);
  EXPECT_TRUE(heard_.quiet());
}

TEST_F(KeysEvdevTest, RightSuperTapWithAnotherKeyBetween) {
  auto keyboard = finder_->plugIn();
  ASSERT_TRUE(keys_.start(heard_.handler()));
  keyboard->send({key(KEY_RIGHTMETA, 1), syn(), key(KEY_C, 1), syn(), key(KEY_C, 0), syn(),
                  key(KEY_LEFTSHIFT, 1), syn(), key(KEY_LEFTSHIFT, 0), syn(),
                  key(KEY_RIGHTMETA, 0), syn()});
  EXPECT_NEXT_KEY(heard_, ShellKey::note, true, true);
  EXPECT_NEXT_KEY(heard_, ShellKey::other, true, false);
  EXPECT_NEXT_KEY(heard_, ShellKey::other, false, false);
  EXPECT_NEXT_KEY(heard_, ShellKey::other, true, true);
  EXPECT_NEXT_KEY(heard_, ShellKey::other, false, true);
  EXPECT_NEXT_KEY(heard_, ShellKey::note, false, true);
}

TEST_F(KeysEvdevTest, RecordsSplitAcrossReadsAndMouseButtonsIgnored) {
  auto keyboard = finder_->plugIn();
  ASSERT_TRUE(keys_.start(heard_.handler()));
  const input_event press = key(KEY_RIGHTALT, 1);
  const std::string bytes(reinterpret_cast<const char*>(&press), sizeof press);
  keyboard->sendBytes(bytes.substr(0, 5));
  EXPECT_TRUE(heard_.quiet());
  keyboard->sendBytes(bytes.substr(5));
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, true, true);
  keyboard->send({key(BTN_LEFT, 1), syn(), key(BTN_LEFT, 0), syn()});
  EXPECT_TRUE(heard_.quiet());
}

TEST_F(KeysEvdevTest, AKeyboardUnpluggedWhileHoldingRightAltReleasesIt) {
  auto first = finder_->plugIn();
  auto second = finder_->plugIn();
  LogCapture log;
  ASSERT_TRUE(keys_.start(heard_.handler()));
  first->send({key(KEY_RIGHTALT, 1), syn()});
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, true, true);
  first->unplug();
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, false, true);
  for (int i = 0; i < 100 && keys_.keyboardCount() != 1; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(keys_.keyboardCount(), 1u);
  EXPECT_TRUE(log.contains("Quorvel: keyboard gone: fake 1"));
  second->send({key(KEY_RIGHTMETA, 1), syn()});
  EXPECT_NEXT_KEY(heard_, ShellKey::note, true, true);
}

TEST_F(KeysEvdevTest, AfterDroppedEventsTheKeyStateIsReadAgain) {
  auto keyboard = finder_->plugIn();
  ASSERT_TRUE(keys_.start(heard_.handler()));
  keyboard->send({key(KEY_RIGHTALT, 1), syn()});
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, true, true);
  {
    // Meanwhile right Alt went up and right Super down, but the records were lost.
    std::scoped_lock lock(keyboard->state->mutex);
    KeyBits now;
    now.set(KEY_RIGHTMETA);
    keyboard->state->keys = now;
  }
  keyboard->send({syn(SYN_DROPPED), key(KEY_A, 1), key(KEY_RIGHTALT, 1), syn()});
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, false, true);
  EXPECT_NEXT_KEY(heard_, ShellKey::note, true, true);
  EXPECT_TRUE(heard_.quiet());  // nothing of the incomplete report
}

TEST_F(KeysEvdevTest, ThePollAsksTheKernelsKeyState) {
  auto keyboard = finder_->plugIn();
  ASSERT_TRUE(keys_.start(heard_.handler()));
  EXPECT_FALSE(keys_.isDown(ShellKey::dictation));
  {
    std::scoped_lock lock(keyboard->state->mutex);
    KeyBits now;
    now.set(KEY_RIGHTALT);
    keyboard->state->keys = now;
  }
  EXPECT_TRUE(keys_.isDown(ShellKey::dictation));
  EXPECT_FALSE(keys_.isDown(ShellKey::note));
  EXPECT_FALSE(keys_.isDown(ShellKey::other));
}

TEST_F(KeysEvdevTest, AKeyboardPluggedInLaterIsHeard) {
  auto first = finder_->plugIn();
  ASSERT_TRUE(keys_.start(heard_.handler()));
  auto later = finder_->plugIn(false);
  for (int i = 0; i < 100 && keys_.keyboardCount() != 2; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(keys_.keyboardCount(), 2u);
  later->send({key(KEY_RIGHTALT, 1), syn()});
  EXPECT_NEXT_KEY(heard_, ShellKey::dictation, true, true);
}

TEST_F(KeysEvdevTest, GarbageNeitherCrashesNorStopsTheSource) {
  auto keyboard = finder_->plugIn();
  ASSERT_TRUE(keys_.start(heard_.handler()));
  std::mt19937 random(3);
  std::string garbage;
  for (int i = 0; i < 64 * 1024; ++i) garbage.push_back(static_cast<char>(random()));
  garbage.resize(garbage.size() / sizeof(input_event) * sizeof(input_event));  // whole records
  keyboard->sendBytes(garbage);
  std::this_thread::sleep_for(200ms);
  // Whatever the garbage pressed, a clean release and press still come through.
  keyboard->send({key(KEY_RIGHTALT, 0), syn(), key(KEY_RIGHTALT, 1), syn()});
  bool heardPress = false;
  for (int i = 0; i < 10000 && !heardPress; ++i) {
    auto event = heard_.next();
    ASSERT_TRUE(event);
    heardPress = event->key == ShellKey::dictation && event->down;
  }
  EXPECT_TRUE(heardPress);
}

TEST_F(KeysEvdevTest, HundredsOfKeyboardsAndAnIdleSourceSleeps) {
  std::vector<std::unique_ptr<Plug>> plugs;
  for (int i = 0; i < 300; ++i) plugs.push_back(finder_->plugIn());
  ASSERT_TRUE(keys_.start(heard_.handler()));
  EXPECT_EQ(keys_.keyboardCount(), 300u);
  plugs.back()->send({key(KEY_RIGHTMETA, 1), syn()});
  EXPECT_NEXT_KEY(heard_, ShellKey::note, true, true);

  timespec before{}, after{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
  std::this_thread::sleep_for(300ms);
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
  const double busy = (after.tv_sec - before.tv_sec) + (after.tv_nsec - before.tv_nsec) / 1e9;
  EXPECT_LT(busy, 0.1) << "the key thread spins instead of sleeping in poll";
}

TEST_F(KeysEvdevTest, NoReadableKeyboardSaysWhy) {
  finder_->problem_ = "no permission to read the keyboards in /dev/input";
  finder_->error_ = DeviceError::noPermission;
  LogCapture log;
  EXPECT_FALSE(keys_.start(heard_.handler()));
  EXPECT_EQ(keys_.problem(), "no permission to read the keyboards in /dev/input");
  EXPECT_TRUE(keys_.needsPermission());
  EXPECT_TRUE(log.contains("Quorvel: cannot hear the keys: no permission"));
  EXPECT_FALSE(keys_.isDown(ShellKey::dictation));
}

}  // namespace
}  // namespace quorvel
