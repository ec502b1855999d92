// The paste chord's exact evdev events, written to a pipe in place of the
// virtual keyboard, and the virtual keyboard's refusal where there is none.
#include "platform/linux/UinputKeyboard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include "platform/linux/EvdevDevices.h"

namespace quorvel {
namespace {

struct Expected {
  unsigned short type, code;
  int value;
};

std::vector<Expected> readBack(int fd, size_t count) {
  std::vector<Expected> events;
  for (size_t i = 0; i < count; ++i) {
    input_event e{};
    if (read(fd, &e, sizeof e) != static_cast<ssize_t>(sizeof e)) break;
    events.push_back({e.type, e.code, e.value});
  }
  return events;
}

bool operator==(const Expected& a, const Expected& b) {
  return a.type == b.type && a.code == b.code && a.value == b.value;
}

TEST(UinputKeyboard, TheChordsExactEvents) {
  struct Case {
    PasteChord chord;
    std::vector<Expected> events;
  };
  const Case cases[] = {
      {PasteChord::ctrlV,
       {{EV_KEY, KEY_LEFTCTRL, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_V, 1},
        {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_V, 0}, {EV_SYN, SYN_REPORT, 0},
        {EV_KEY, KEY_LEFTCTRL, 0}, {EV_SYN, SYN_REPORT, 0}}},
      {PasteChord::ctrlShiftV,
       {{EV_KEY, KEY_LEFTCTRL, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_LEFTSHIFT, 1},
        {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_V, 1}, {EV_SYN, SYN_REPORT, 0},
        {EV_KEY, KEY_V, 0}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_LEFTSHIFT, 0},
        {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_LEFTCTRL, 0}, {EV_SYN, SYN_REPORT, 0}}},
  };
  for (const Case& c : cases) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    FdKeyEventSink sink(pipeFds[1]);
    ASSERT_TRUE(sink.write(pasteChordEvents(c.chord)));
    close(pipeFds[1]);
    EXPECT_EQ(readBack(pipeFds[0], c.events.size() + 1), c.events);
    close(pipeFds[0]);
  }
}

TEST(UinputKeyboard, TheLayoutsKeyForVIsUsed) {
  const auto events = pasteChordEvents(PasteChord::ctrlV, KEY_DOT);  // Dvorak's "v"
  ASSERT_EQ(events.size(), 8u);
  EXPECT_EQ(events[2].code, KEY_DOT);
  EXPECT_EQ(events[4].code, KEY_DOT);
}

TEST(UinputKeyboard, AClosedDeviceRefusesTheChord) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  close(pipeFds[0]);
  signal(SIGPIPE, SIG_IGN);
  FdKeyEventSink sink(pipeFds[1]);
  EXPECT_FALSE(sink.write(pasteChordEvents(PasteChord::ctrlV)));
  close(pipeFds[1]);
}

TEST(UinputKeyboard, WithoutUinputThereIsAReasonNotACrash) {
  if (access("/dev/uinput", F_OK) == 0) GTEST_SKIP() << "this machine has /dev/uinput";
  DeviceProblem problem;
  EXPECT_FALSE(UinputKeyboard::create(problem));
  EXPECT_NE(problem.text.find("/dev/uinput"), std::string::npos);
  EXPECT_NE(problem.error, DeviceError::none);
}

TEST(UdevKeyboards, WithoutKeyboardsThereIsAReasonNotACrash) {
  if (access("/dev/input", F_OK) == 0) GTEST_SKIP() << "this machine has /dev/input";
  UdevKeyboards finder;
  EXPECT_TRUE(finder.present().empty());
  EXPECT_FALSE(finder.problem().empty());
}

}  // namespace
}  // namespace quorvel
