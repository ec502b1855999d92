// What the tests against the real model servers share: where the servers and
// the test models are, a data folder of their own, free ports, and runs of the
// quorvel program with a bound on their time.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ProgramEnvironment.h"
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
  ProgramEnvironment environment{root.path(), realServer("whisper-server"), realServer("llama-server")};
  const int whisperPort = environment.whisperPort;
  const int llamaPort = environment.llamaPort;
};

}  // namespace quorvel::testing
