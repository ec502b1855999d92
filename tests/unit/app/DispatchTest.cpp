#include "app/cli/Dispatch.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "TestSupport.h"

namespace quorvel {
namespace {

struct Case {
  std::vector<std::string> args;
  Mode mode;
  std::vector<std::string> values;
};

TEST(ChooseMode, EarliestModeInTheTableWinsAndAFlagWithoutValuesFallsThrough) {
  const Case cases[] = {
      {{"quorvel"}, Mode::app, {}},
      {{"quorvel", "--unknown"}, Mode::app, {}},
      {{"quorvel", "--bank", "in.jsonl"}, Mode::app, {}},  // missing OUT
      {{"quorvel", "--bank", "in.jsonl", "out.jsonl"}, Mode::bank, {"in.jsonl", "out.jsonl"}},
      // Order of the table, not of the arguments.
      {{"quorvel", "--test", "a.wav", "--download-test", "dir"}, Mode::downloadTest, {"dir"}},
      {{"quorvel", "--replay", "--bank", "a", "b"}, Mode::bank, {"a", "b"}},
      {{"quorvel", "--test", "a.wav", "--replay"}, Mode::replay, {}},
      // A flag whose value is missing is skipped and the search goes on.
      {{"quorvel", "--test", "x.wav", "--cursor-context"}, Mode::test, {}},
      {{"quorvel", "--bubble-snapshot"}, Mode::app, {}},
      {{"quorvel", "--bubble-demo", "--bubble-snapshot", "out"}, Mode::tagDemo, {}},
      // Values are whatever follows, even another flag.
      {{"quorvel", "--note-snapshot", "--help"}, Mode::noteSnapshot, {"--help"}},
      // The first occurrence supplies the values.
      {{"quorvel", "--bank", "a", "b", "--bank", "c", "d"}, Mode::bank, {"a", "b"}},
      // Element 0 counts too.
      {{"--replay"}, Mode::replay, {}},
      {{"quorvel", "--test"}, Mode::test, {}},
      {{"quorvel", "--help", "--test"}, Mode::test, {}},
      {{"quorvel", "--version"}, Mode::version, {}},
      {{"quorvel", "--download-models", "--speech", "base"}, Mode::downloadModels, {}},
      {{"quorvel", "--download-models", "--test", "a.wav"}, Mode::test, {}},
      {{"quorvel", "-h"}, Mode::help, {}},
      {{"quorvel", "--Test"}, Mode::app, {}},  // exact equality only
  };
  for (const auto& c : cases) {
    const ModeChoice choice = chooseMode(c.args);
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(choice.mode, c.mode) << joined;
    EXPECT_EQ(choice.values, c.values) << joined;
  }
}

// Runs the built program and answers its exit status and standard error.
std::pair<int, std::string> runQuorvel(const std::string& arguments) {
  const std::string command =
      testing::buildProgram("quorvel").string() + " " + arguments + " 2>&1 >/dev/null";
  const testing::CommandResult ran = testing::runCommand(command);
  return {ran.status, ran.out};
}

TEST(Program, VersionAndHelpEndNormally) {
  auto [status, error] = runQuorvel("--version");
  EXPECT_EQ(status, 0);
  std::tie(status, error) = runQuorvel("--help");
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace quorvel
