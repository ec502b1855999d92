// Where the application is, as the tray, the tag and the recording control see
// it: loading its models, waiting for the key, recording, or turning a
// recording into text.
#pragma once

namespace quorvel {

enum class AppState { starting, idle, recording, processing };

}  // namespace quorvel
