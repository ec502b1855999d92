// The status tag's two command-line modes: a demonstration on screen and
// snapshots of every state as PNG files, in the light and dark appearance.
//
// Threading: call from main, once; each makes its own Qt application.
#pragma once

#include <filesystem>

namespace quorvel {

// Plays the tag's phases over 7.2 seconds (recording with a synthetic level,
// transcribing, polishing with arriving text, done, hidden), then returns 0.
int runTagDemo(int& argc, char** argv);

// Writes tag-<n>-<state>.png and tag-<n>-<state>-dark.png into dir (made
// when missing) at twice the tag's size. A file that can't be written is
// reported on standard error and skipped; the answer is 0.
int runTagSnapshot(const std::filesystem::path& dir, int& argc, char** argv);

}  // namespace quorvel
