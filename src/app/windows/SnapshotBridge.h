// The fixed answers the window pictures are drawn with: a download half done,
// the state, the permissions and an update, chosen by command-line options so
// every state of the windows can be pictured without an application behind.
#pragma once

#include <string>
#include <vector>

#include "app/windows/DashboardBridge.h"

namespace quorvel {

enum class SnapshotWindow { dashboard, onboarding };

// Options read from `args` (the whole command line):
//   --setup PHASE   "starting", "failed" or "ready" (just finished); any other
//                   word, or none, keeps the download running
//   --record        the state recording; --processing (onboarding) processing
//   --update        (dashboard) an update to version 1.0.0 waits
//   --ready         (dashboard) both permissions given
//   granted|denied  (onboarding) the microphone's answer; else never asked
//   --ax            (onboarding) the keys can be heard
//   --no-download   (onboarding) every model is present
//   --wayland       the Wayland form of the key permission (--no-rule: with the
//                   udev rule still to install; --portal: the desktop's portals,
//                   typing not allowed in its dialog yet)
//   --mic-gone      (dashboard) the chosen microphone is unplugged
//   --speech-download (dashboard) another speech model is downloading
SharedBridge snapshotBridge(const std::vector<std::string>& args, SnapshotWindow window);

// Whether the pictures are to be dark ("--dark").
bool snapshotDark(const std::vector<std::string>& args);

}  // namespace quorvel
