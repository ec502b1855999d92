// The command-line model download.
#include "app/cli/DownloadModels.h"

#include <unistd.h>

#include <algorithm>
#include <cinttypes>

#include "engine/Config.h"

namespace quorvel {
namespace {

using Clock = std::chrono::steady_clock;

std::string megabytes(std::int64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

// What the user is told about an item: its file, size, model and licence.
std::string describe(const ModelStore::Item& item) {
  std::string name;
  const auto& info = Config::speechModelInfo();
  if (const auto found = info.find(item.file); found != info.end()) {
    name = found->second.name;
  } else if (item.file == Config::baseModelFile) {
    name = "Qwen3 1.7B";
  }
  std::string line = item.label + ": " + item.file + ", " + megabytes(item.bytes);
  if (!name.empty()) line += ", " + name;
  if (!item.licence.empty()) line += " (" + item.licence + " licence)";
  return line;
}

}  // namespace

std::optional<std::string> speechFileFor(const std::string& name) {
  if (name == "base") return "ggml-base.en.bin";
  if (name == "small") return "ggml-small.en-q5_1.bin";
  if (name == "turbo") return "ggml-large-v3-turbo-q5_0.bin";
  return std::nullopt;
}

std::string downloadLine(std::int64_t done, std::int64_t total, std::chrono::duration<double> elapsed,
                         std::int64_t doneAtStart) {
  const std::int64_t percent =
      total > 0 ? static_cast<std::int64_t>(static_cast<__int128>(std::max<std::int64_t>(done, 0)) * 100 / total) : 0;
  std::string line = megabytes(done) + " of " + megabytes(total) + ", " + std::to_string(percent) + "%";
  const double seconds = elapsed.count();
  const std::int64_t fetched = done - doneAtStart;
  if (seconds > 0 && fetched > 0) {
    const double rate = static_cast<double>(fetched) / seconds;
    char text[96];
    std::snprintf(text, sizeof text, ", %.1f MB/s", rate / 1e6);
    line += text;
    const auto left = static_cast<std::int64_t>(static_cast<double>(std::max<std::int64_t>(total - done, 0)) / rate);
    std::snprintf(text, sizeof text, ", %" PRId64 ":%02" PRId64 " left", left / 60, left % 60);
    line += text;
  }
  return line;
}

int downloadModels(const std::vector<ModelStore::Item>& items, const fs::path& folder,
                   const ModelStore::DownloadSettings& settings, std::FILE* out, bool terminal) {
  std::vector<ModelStore::Item> todo;
  bool damaged = false;
  for (const auto& item : items) {
    std::fprintf(out, "%s\n", describe(item).c_str());
    const fs::path file = folder / item.file;
    if (!pathExists(file)) {
      todo.push_back(item);
      continue;
    }
    // A file already here is checked too: the run must end on verified files.
    std::error_code error;
    const auto size = fs::file_size(file, error);
    const bool matches = !error && static_cast<std::int64_t>(size) == item.bytes &&
                         ModelStore::fileSHA256(file) == item.sha256;
    if (matches) {
      std::fprintf(out, "  already here and verified\n");
    } else {
      std::fprintf(out, "  %s is already here but does not match the catalog (size or SHA-256); "
                        "remove it to fetch it again\n", file.c_str());
      damaged = true;
    }
  }
  std::fflush(out);
  if (todo.empty()) return damaged ? 1 : 0;

  const auto start = Clock::now();
  std::optional<std::int64_t> doneAtStart;
  std::string shown;
  const auto bytes = [&](std::int64_t done, std::int64_t total) {
    if (!doneAtStart) doneAtStart = done;  // pieces of an earlier run are no speed
    const std::string line = downloadLine(done, total, Clock::now() - start, *doneAtStart);
    if (terminal) {
      std::fprintf(out, "\r%s\033[K", line.c_str());
    } else if (line.substr(0, line.find('%')) != shown.substr(0, shown.find('%'))) {
      std::fprintf(out, "%s\n", line.c_str());
    }
    shown = line;
    std::fflush(out);
  };
  const auto message = [&](const std::string& text) {
    if (text.starts_with("Downloading Quorvel's models")) return;  // the line above says it
    std::fprintf(out, "%s%s\n", terminal && !shown.empty() ? "\n" : "", text.c_str());
    shown.clear();
    std::fflush(out);
  };
  const bool fetched = ModelStore::download(todo, folder, bytes, message, settings);
  if (terminal && !shown.empty()) std::fprintf(out, "\n");
  if (!fetched) {
    std::fprintf(out, "The models could not all be downloaded and verified; run this again to "
                      "resume (the pieces that arrived are kept).\n");
  } else {
    std::fprintf(out, "Every model is in place and verified.\n");
  }
  std::fflush(out);
  return fetched && !damaged ? 0 : 1;
}

int runDownloadModels(const std::vector<std::string>& args) {
  std::string speech = ModelStore::chosenSpeechFile();
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--speech") continue;
    const auto file = i + 1 < args.size() ? speechFileFor(args[i + 1]) : std::nullopt;
    if (!file) {
      std::printf("--speech takes base, small or turbo\n");
      return 2;
    }
    speech = *file;
  }
  createFolders(Config::models());
  return downloadModels(ModelStore::required(speech), Config::models(),
                        ModelStore::DownloadSettings::fromEnvironment(), stdout,
                        ::isatty(STDOUT_FILENO) == 1);
}

}  // namespace quorvel
