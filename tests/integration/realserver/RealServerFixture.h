// What the tests against the real model servers share: where the servers and
// the test models are, a data folder of their own, free ports, and runs of the
// quorvel program with a bound on their time.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace quorvel::testing {

// <build>/libexec/quorvel/NAME and <build>/realserver/NAME.
fs::path realServer(const std::string& name);
fs::path realServerModel(const std::string& name);

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit);

struct ProgramRun {
  int status = -1;     // exit status; -1 when it was killed or did not exit in time
  bool inTime = false;
  std::string output;  // standard output and error together
  std::chrono::milliseconds took{0};
};

class RealServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs quorvel with these arguments, killed after `limit`; `during` runs
  // while it does (with the time so far) and may end early by returning true.
  ProgramRun runQuorvel(const std::vector<std::string>& args, std::chrono::milliseconds limit,
                        const std::function<bool()>& during = {});
  // Copies a test model into the models folder under this name.
  void putModel(const std::string& testModel, const std::string& asFile);
  std::string logText(const std::string& name) const;

  TempDir root;
  fs::path data = root / "data";
  int whisperPort = freeLoopbackPort();
  int llamaPort = freeLoopbackPort();
  ScopedEnv rootVariable{"QUORVEL_ROOT", data.string()};
  ScopedEnv configHome{"XDG_CONFIG_HOME", (root / "config").string()};
  ScopedEnv dataHome{"XDG_DATA_HOME", (root / "share").string()};
  ScopedEnv whisperExe{"QUORVEL_WHISPER_SERVER", realServer("whisper-server").string()};
  ScopedEnv llamaExe{"QUORVEL_LLAMA_SERVER", realServer("llama-server").string()};
  ScopedEnv whisperPortVariable{"QUORVEL_WHISPER_PORT", std::to_string(whisperPort)};
  ScopedEnv llamaPortVariable{"QUORVEL_LLAMA_PORT", std::to_string(llamaPort)};
  ScopedEnv neural{"QUORVEL_NEURAL_ENGINE", "0"};
  ScopedEnv talk{"QUORVEL_TALK_AHEAD", std::nullopt};
  ScopedEnv noLayer{"QUORVEL_ADAPTER_CLEANUP", std::nullopt};
  ScopedEnv noBase{"QUORVEL_BASE_MODEL", std::nullopt};
};

}  // namespace quorvel::testing
