// The microphone the user chose: the sound server's input sources as the
// settings page lists them, the choice kept by the source's stable name
// ("microphone" in the user defaults, with its description for when it is
// gone; absent: the sound server's default), and the one line shown while the
// chosen one is not connected.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvel {

class UserDefaults;

// One input the sound server offers.
struct MicSource {
  std::string name;         // stable across restarts and re-plugging ("alsa_input.usb-…")
  std::string description;  // for people ("USB Headset Mono")
  bool operator==(const MicSource&) const = default;
};

// The chosen source; nothing for the default. Its description may be empty.
std::optional<MicSource> chosenMicrophone(const UserDefaults& defaults);
// Stores a choice; nothing goes back to the default.
bool chooseMicrophone(UserDefaults& defaults, const std::optional<MicSource>& source);

// "USB Headset isn't connected. Quorvel uses the default microphone until it's
// back." while the chosen source is missing from present; "" otherwise (the
// default is chosen, or the chosen one is there).
std::string microphoneNotice(const std::optional<MicSource>& chosen, const std::vector<MicSource>& present);

}  // namespace quorvel
