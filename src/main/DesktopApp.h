// The desktop application: the one place that creates the concrete adapters
// (Qt, X11, PulseAudio, AT-SPI) and hands them to the application's logic.
#pragma once

namespace quorvel {

// Runs the application until it quits; the process's exit status.
int runDesktopApp(int argc, char** argv);

}  // namespace quorvel
