#include "support/ChildProcess.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>

#include "TestSupport.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;

TEST(ChildProcess, PassesArgumentsAndExtraEnvironmentAndWritesOutputToTheLog) {
  testing::TempDir dir;
  testing::ScopedEnv inherited("QUORVEL_TEST_INHERITED", "kept");
  LaunchOptions options;
  options.executable = "/bin/sh";
  options.arguments = {"-c", "echo \"$1 $QUORVEL_TEST_INHERITED $EXTRA\"; echo oops >&2", "sh",
                       "first arg"};
  options.extraEnvironment = {{"EXTRA", "added"}, {"QUORVEL_TEST_INHERITED", "replaced"}};
  options.outputFile = dir / "out.log";
  auto child = ChildProcess::launch(options);
  ASSERT_TRUE(child.ok()) << child.error();
  ASSERT_TRUE((*child)->waitForExit(5s));
  EXPECT_EQ((*child)->exitStatus(), 0);
  EXPECT_EQ(testing::readTextFile(dir / "out.log"), "first arg replaced added\noops\n");
}

TEST(ChildProcess, TerminateStopsARunningChild) {
  auto child = ChildProcess::launch({"/bin/sleep", {"30"}, {}, std::nullopt});
  ASSERT_TRUE(child.ok());
  EXPECT_TRUE((*child)->isRunning());
  EXPECT_FALSE((*child)->waitForExit(50ms));
  (*child)->terminate();
  ASSERT_TRUE((*child)->waitForExit(5s));
  EXPECT_FALSE((*child)->isRunning());
  ASSERT_TRUE((*child)->exitStatus().has_value());
  EXPECT_TRUE(WIFSIGNALED(*(*child)->exitStatus()));
  (*child)->terminate();  // harmless once it has ended
}

TEST(ChildProcess, MissingExecutableIsAnErrorNotACrash) {
  auto child = ChildProcess::launch({"/nonexistent/whisper-server", {}, {}, std::nullopt});
  ASSERT_FALSE(child.ok());
  EXPECT_NE(child.error().find("No such file"), std::string::npos) << child.error();
}

TEST(ChildProcess, UnopenableLogLeavesTheChildItsOwnOutput) {
  auto child = ChildProcess::launch({"/bin/true", {}, {}, fs::path("/nonexistent/dir/x.log")});
  ASSERT_TRUE(child.ok());
  EXPECT_TRUE((*child)->waitForExit(5s));
}

TEST(FindOnPath, FindsExecutablesOnly) {
  testing::TempDir dir;
  testing::writeTextFile(dir / "tool", "#!/bin/sh\n");
  fs::permissions(dir / "tool", fs::perms::owner_all);
  testing::writeTextFile(dir / "plain", "");
  testing::ScopedEnv path("PATH", "/nonexistent:" + dir.path().string());
  EXPECT_EQ(findOnPath("tool"), dir / "tool");
  EXPECT_EQ(findOnPath("plain"), std::nullopt);
  EXPECT_EQ(findOnPath("missing"), std::nullopt);
}

}  // namespace
}  // namespace quorvel
