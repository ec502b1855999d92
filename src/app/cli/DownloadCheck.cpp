// "--download-test": the download check of the command line.
#include "app/cli/DownloadCheck.h"

namespace quorvel {

std::optional<std::string> ProgressThinner::filter(const std::string& message) {
  const auto percent = message.find('%');
  std::string head = message.substr(0, percent);
  const bool wanted = percent == std::string::npos || (!head.empty() && head.back() == '0');
  if (head == lastPrinted_ || !wanted) return std::nullopt;
  lastPrinted_ = std::move(head);
  return message;
}

int runDownloadCheck(const fs::path& dir, const std::vector<ModelStore::Item>& items,
                    const ModelStore::DownloadSettings& settings, std::FILE* out) {
  createFolders(dir);
  ProgressThinner thinner;
  const bool passed = ModelStore::download(
      items, dir, nullptr,
      [&](const std::string& message) {
        if (auto line = thinner.filter(message)) {
          std::fprintf(out, "%s\n", line->c_str());
          std::fflush(out);
        }
      },
      settings);
  std::fprintf(out, "%s\n", passed ? "download test passed" : "download test FAILED");
  std::fflush(out);
  return 0;
}

int runDownloadCheck(const fs::path& dir) {
  return runDownloadCheck(dir, ModelStore::required(), ModelStore::DownloadSettings::fromEnvironment(),
                         stdout);
}

}  // namespace quorvel
