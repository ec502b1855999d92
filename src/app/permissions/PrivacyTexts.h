// What the onboarding says about where the user's speech and words go: on
// this computer, or to the servers elsewhere the settings name (then it says
// which, and what is sent there).
#pragma once

#include <string>

#include "engine/RemoteServer.h"

namespace quorvel {

struct PrivacyTexts {
  std::string welcome;     // under "Talk. Quorvel types it."
  std::string microphone;  // under "Allow the microphone."
  std::string download;    // under "Getting Quorvel ready."
};

// keyName is the dictation key as the user knows it ("right Ctrl").
PrivacyTexts privacyTexts(const RemoteSettings& remote, const std::string& keyName = "right Alt");

}  // namespace quorvel
