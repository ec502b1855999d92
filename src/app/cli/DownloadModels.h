// "--download-models [--speech base|small|turbo]": fetches the model files
// dictation needs into the models folder, so the engine runs work without the
// desktop (a server set up over SSH). One progress line (bytes, percent, rate,
// time left) and the store's own messages; exit 0 only when every file is in
// place and matches its pinned size and SHA-256.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/models/ModelStore.h"

namespace quorvel {

// The speech model file for a --speech value ("base", "small", "turbo").
std::optional<std::string> speechFileFor(const std::string& name);

// "412.3 MB of 1297.5 MB, 31%, 12.4 MB/s, 1:23 left" (no rate or time left
// before anything arrived).
std::string downloadLine(std::int64_t done, std::int64_t total, std::chrono::duration<double> elapsed,
                         std::int64_t doneAtStart);

// Lists the items with their licences, checks those already in folder, fetches
// the others and prints to out; on a terminal the progress line is rewritten in
// place. Answers the exit status: 0 when all are in place and verified, 1 otherwise.
int downloadModels(const std::vector<ModelStore::Item>& items, const fs::path& folder,
                   const ModelStore::DownloadSettings& settings, std::FILE* out, bool terminal);

// The mode: args is the whole command line. Exit 2 for an unknown --speech value.
int runDownloadModels(const std::vector<std::string>& args);

}  // namespace quorvel
