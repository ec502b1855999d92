// "--download-test" DIR: downloads the required model files into DIR and
// prints the progress, thinned out, and a verdict.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/models/ModelStore.h"

namespace quorvel {

// Decides which progress messages are printed: a message whose text before
// its first "%" differs from the one last printed, and either ends in "0" (each
// tenth percent) or is a message without a "%" at all.
class ProgressThinner {
 public:
  // The message when it is to be printed.
  std::optional<std::string> filter(const std::string& message);

 private:
  std::string lastPrinted_;  // the part before "%" of the last printed message
};

// Creates dir (a failure is ignored), downloads the items into it and prints
// the thinned progress and "download test passed" or "download test FAILED" to
// out, one line each. Answers the program's exit status, which is 0 either way.
int runDownloadCheck(const fs::path& dir, const std::vector<ModelStore::Item>& items,
                    const ModelStore::DownloadSettings& settings, std::FILE* out);

// The mode itself: the required items, the settings from the environment,
// standard output.
int runDownloadCheck(const fs::path& dir);

}  // namespace quorvel
