// The microphone's state for the windows: asked off the main thread, shared
// by asks that overlap, and never delivered to a check that is gone.
#include "app/windows/MicrophoneCheck.h"

#include <gtest/gtest.h>

#include "ShellFakes.h"

namespace quorvel::testing {
namespace {

TEST(MicrophoneCheck, AnswersOnTheMainThreadAndSharesOneAskBetweenCallers) {
  FakeMainLoop loop;
  ManualRunner runner;
  int asked = 0;
  MicStatus server = MicStatus::authorised;
  MicrophoneCheck check(loop, runner, [&] {
    ++asked;
    return server;
  });
  EXPECT_EQ(check.status(), MicStatus::notDetermined);

  std::vector<MicStatus> answers;
  check.refresh([&](MicStatus status) { answers.push_back(status); });
  check.refresh([&](MicStatus status) { answers.push_back(status); });
  runner.runAll();
  EXPECT_EQ(check.status(), MicStatus::notDetermined);  // not before the main thread has it
  loop.runPosted();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(check.status(), MicStatus::authorised);
  EXPECT_EQ(answers, (std::vector<MicStatus>{MicStatus::authorised, MicStatus::authorised}));

  // The user unplugs the last microphone; the next ask says so.
  server = MicStatus::restricted;
  check.refresh();
  runner.runAll();
  loop.runPosted();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(check.status(), MicStatus::restricted);
}

TEST(MicrophoneCheck, AnAnswerAfterTheCheckWentIsDropped) {
  FakeMainLoop loop;
  ManualRunner runner;
  bool called = false;
  {
    MicrophoneCheck check(loop, runner, [] { return MicStatus::denied; });
    check.refresh([&](MicStatus) { called = true; });
  }
  runner.runAll();
  loop.runPosted();
  EXPECT_FALSE(called);
}

TEST(MicrophoneCheck, AMissingMicrophoneIsLookedAtAgainUntilItWorks) {
  FakeMainLoop loop;
  ManualRunner runner;
  int asked = 0;
  MicStatus server = MicStatus::restricted;
  MicrophoneCheck check(loop, runner, [&] {
    ++asked;
    return server;
  });
  check.start();
  check.start();  // one timer, however often started
  runner.runAll();
  loop.runPosted();
  EXPECT_EQ(asked, 1);
  loop.advance(9.9);
  runner.runAll();
  EXPECT_EQ(asked, 1);
  loop.advance(0.2);
  runner.runAll();
  loop.runPosted();
  EXPECT_EQ(asked, 2);

  // Plugged in: found at the next look, and then no longer asked about.
  server = MicStatus::authorised;
  loop.advance(10);
  runner.runAll();
  loop.runPosted();
  EXPECT_EQ(check.status(), MicStatus::authorised);
  const int once = asked;
  loop.advance(60);
  runner.runAll();
  EXPECT_EQ(asked, once);
}

TEST(MicrophoneCheck, TheSoundServersAnswerInTheWindowsWords) {
  EXPECT_EQ(micStatusOf(MicrophoneAccess::allowed), MicStatus::authorised);
  EXPECT_EQ(micStatusOf(MicrophoneAccess::denied), MicStatus::denied);
  EXPECT_EQ(micStatusOf(MicrophoneAccess::restricted), MicStatus::restricted);
  EXPECT_EQ(micStatusOf(MicrophoneAccess::notAskedYet), MicStatus::notDetermined);
}

}  // namespace
}  // namespace quorvel::testing
