#include "RealServerFixture.h"

#include <signal.h>
#include <sys/wait.h>

#include <thread>

#include "engine/Config.h"
#include "support/ChildProcess.h"
#include "support/PortListeners.h"

namespace quorvel::testing {

using namespace std::chrono_literals;

fs::path realServer(const std::string& name) {
  return buildBinFolder().parent_path() / "libexec" / "quorvel" / name;
}

fs::path realServerModel(const std::string& name) {
  return buildBinFolder().parent_path() / "realserver" / name;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

void RealServerTest::SetUp() {
  // Missing pieces are a failure, not a skip: scripts/test prepares them.
  for (const fs::path& needed :
       {realServer("whisper-server"), realServer("llama-server"),
        realServerModel("speech-tiny.en.bin"), realServerModel("model.gguf"),
        realServerModel("adapter.gguf")}) {
    ASSERT_TRUE(fs::exists(needed)) << needed << " is missing: run scripts/prepare-realserver-tests "
                                    << "with this build tree";
  }
  Config::resetForTesting();
}

void RealServerTest::TearDown() {
  // Nothing a test started may outlive it.
  for (const int port : {whisperPort, llamaPort}) {
    for (const pid_t left : processesListeningOn(port)) ::kill(left, SIGKILL);
  }
  Config::resetForTesting();
}

ProgramRun RealServerTest::runQuorvel(const std::vector<std::string>& args,
                                      std::chrono::milliseconds limit,
                                      const std::function<bool()>& during) {
  ProgramRun run;
  const fs::path output = root / "run.txt";
  LaunchOptions options;
  options.executable = buildProgram("quorvel").string();
  options.arguments = args;
  options.outputFile = output;
  fs::remove(output);
  const auto start = std::chrono::steady_clock::now();
  auto launched = ChildProcess::launch(options);
  if (!launched) {
    ADD_FAILURE() << "can't start quorvel: " << launched.error();
    return run;
  }
  auto& program = *launched;
  const auto deadline = start + limit;
  bool duringDone = !during;
  while (program->isRunning() && std::chrono::steady_clock::now() < deadline) {
    if (!duringDone) duringDone = during();
    std::this_thread::sleep_for(20ms);
  }
  run.inTime = !program->isRunning();
  if (!run.inTime) {
    program->kill();
    program->waitForExit(5s);
  }
  run.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  const auto status = program->exitStatus();
  if (run.inTime && status && WIFEXITED(*status)) run.status = WEXITSTATUS(*status);
  run.output = fs::exists(output) ? readTextFile(output) : "";
  return run;
}

void RealServerTest::putModel(const std::string& testModel, const std::string& asFile) {
  const fs::path target = data / "models" / asFile;
  fs::create_directories(target.parent_path());
  fs::copy_file(realServerModel(testModel), target, fs::copy_options::overwrite_existing);
}

std::string RealServerTest::logText(const std::string& name) const {
  const fs::path log = data / "logs" / name;
  return fs::exists(log) ? readTextFile(log) : "";
}

}  // namespace quorvel::testing
