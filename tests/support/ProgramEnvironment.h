// The environment a test gives the quorvel program it runs: its data, settings
// and XDG data folders under the test's temporary folder, the two helper
// servers the test chooses on free loopback ports, the graphics-chip speech
// path, and none of the caller's choices of talk-ahead, cleanup layer or base
// model. Everything is set back when the object ends.
#pragma once

#include <string>

#include "TestSupport.h"

namespace quorvel::testing {

class ProgramEnvironment {
 public:
  ProgramEnvironment(const fs::path& root, const fs::path& whisperServer, const fs::path& llamaServer)
      : rootVariable_("QUORVEL_ROOT", (root / "data").string()),
        configHome_("XDG_CONFIG_HOME", (root / "config").string()),
        dataHome_("XDG_DATA_HOME", (root / "share").string()),
        whisperServer_("QUORVEL_WHISPER_SERVER", whisperServer.string()),
        llamaServer_("QUORVEL_LLAMA_SERVER", llamaServer.string()),
        whisperPortVariable_("QUORVEL_WHISPER_PORT", std::to_string(whisperPort)),
        llamaPortVariable_("QUORVEL_LLAMA_PORT", std::to_string(llamaPort)) {}

  const int whisperPort = freeLoopbackPort();
  const int llamaPort = freeLoopbackPort();

 private:
  ScopedEnv rootVariable_;
  ScopedEnv configHome_;
  ScopedEnv dataHome_;
  ScopedEnv whisperServer_;
  ScopedEnv llamaServer_;
  ScopedEnv whisperPortVariable_;
  ScopedEnv llamaPortVariable_;
  ScopedEnv neural_{"QUORVEL_NEURAL_ENGINE", "0"};
  ScopedEnv talk_{"QUORVEL_TALK_AHEAD", std::nullopt};
  ScopedEnv noLayer_{"QUORVEL_ADAPTER_CLEANUP", std::nullopt};
  ScopedEnv noBase_{"QUORVEL_BASE_MODEL", std::nullopt};
};

}  // namespace quorvel::testing
