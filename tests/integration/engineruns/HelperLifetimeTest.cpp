// The helper servers live no longer than the run that started them, and a run
// clears servers an earlier, crashed run left on its port.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <functional>
#include <thread>

#include "ProgramEnvironment.h"
#include "TestSupport.h"
#include "support/ChildProcess.h"
#include "support/PortListeners.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::ScopedEnv;
using testing::TempDir;

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

class HelperLifetime : public ::testing::Test {
 protected:
  std::unique_ptr<ChildProcess> startBank() {
    testing::writeTextFile(bankIn, "{\"id\":1,\"raw\":\"hello there\"}\n");
    LaunchOptions options;
    options.executable = testing::buildProgram("quorvel").string();
    options.arguments = {"--bank", bankIn.string(), bankOut.string()};
    options.outputFile = root / "bank.log";
    auto started = ChildProcess::launch(options);
    return started ? std::move(*started) : nullptr;
  }

  TempDir root;
  fs::path bankIn = root / "in.jsonl";
  fs::path bankOut = root / "out.jsonl";
  testing::ProgramEnvironment environment{root.path(), testing::buildProgram("quorvel-standin-whisper"),
                                          testing::buildProgram("quorvel-standin-llama")};
  const int port = environment.llamaPort;  // the language-model server's
};

TEST_F(HelperLifetime, AKilledRunTakesItsServerWithIt) {
  // A slow start keeps the run busy while the test kills it.
  ScopedEnv slow("QUORVEL_STANDIN_START_MS", "3000");
  auto bank = startBank();
  ASSERT_NE(bank, nullptr);
  ASSERT_TRUE(eventually([&] { return !processesListeningOn(port).empty(); }, 20s));
  bank->kill();
  ASSERT_TRUE(bank->waitForExit(5s));
  const bool serverEnded = eventually([&] { return processesListeningOn(port).empty(); }, 5s);
  for (const pid_t left : processesListeningOn(port)) ::kill(left, SIGKILL);
  EXPECT_TRUE(serverEnded) << "the language-model server outlived the killed run";
}

TEST_F(HelperLifetime, ABankRunClearsAServerAnEarlierRunLeftOnItsPort) {
  LaunchOptions stale;
  stale.executable = testing::buildProgram("quorvel-standin-llama").string();
  stale.arguments = {"-m", "old.gguf", "--host", "127.0.0.1", "--port", std::to_string(port)};
  stale.extraEnvironment = {{"LLAMA_API_KEY", "ANOTHERRUNSKEY"}};
  auto leftOver = ChildProcess::launch(stale);
  ASSERT_TRUE(leftOver.ok());
  ASSERT_TRUE(eventually([&] { return !processesListeningOn(port).empty(); }, 10s));

  auto bank = startBank();
  ASSERT_NE(bank, nullptr);
  const bool finished = bank->waitForExit(60s);
  if (!finished) bank->kill();
  (*leftOver)->kill();
  ASSERT_TRUE(finished);
  EXPECT_EQ(bank->exitStatus(), 0) << testing::readTextFile(root / "bank.log");
  EXPECT_NE(testing::readTextFile(bankOut).find("\"id\":1"), std::string::npos);
  EXPECT_TRUE((*leftOver)->waitForExit(5s));
}

}  // namespace
}  // namespace quorvel
