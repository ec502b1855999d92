// The chosen microphone and its notice.
#include "app/desktop/Microphones.h"

#include <algorithm>

#include "support/Settings.h"

namespace quorvel {

std::optional<MicSource> chosenMicrophone(const UserDefaults& defaults) {
  std::string name = Settings::microphone.read(defaults);
  if (name.empty()) return std::nullopt;
  return MicSource{std::move(name), Settings::microphoneDescription.read(defaults)};
}

bool chooseMicrophone(UserDefaults& defaults, const std::optional<MicSource>& source) {
  const Status saved = defaults.update([&](Json& object) {
    if (source && !source->name.empty()) {
      object[Settings::microphone.key] = source->name;
      object[Settings::microphoneDescription.key] = source->description;
    } else {
      object.erase(Settings::microphone.key);
      object.erase(Settings::microphoneDescription.key);
    }
  });
  return saved.ok();
}

std::string microphoneNotice(const std::optional<MicSource>& chosen, const std::vector<MicSource>& present) {
  if (!chosen) return {};
  const bool here = std::any_of(present.begin(), present.end(),
                                [&](const MicSource& source) { return source.name == chosen->name; });
  if (here) return {};
  const std::string& shown = chosen->description.empty() ? chosen->name : chosen->description;
  return shown + " isn't connected. Quorvel uses the default microphone until it's back.";
}

}  // namespace quorvel
