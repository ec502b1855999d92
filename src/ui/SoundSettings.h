// Opening the desktop's sound settings, where the user picks and unmutes a
// microphone. Main thread; REQUIRES: a QCoreApplication.
#pragma once

namespace quorvel {

// Starts the first sound settings program found (PulseAudio Volume Control,
// GNOME Settings, KDE System Settings, the Xfce mixer), detached; false when
// none is installed, so the window can say what to do instead.
bool openSoundSettings();

}  // namespace quorvel
