// The offered speech models as the settings page lists them.
#include "app/models/SpeechModels.h"

#include <cstdio>

#include "engine/Config.h"

namespace quorvel {
namespace {

std::string noteFor(const std::string& file) {
  if (file == "ggml-base.en.bin") return "Fastest and smallest; less exact with names and quiet speech.";
  if (file == "ggml-large-v3-turbo-q5_0.bin") return "Most exact; slower, and needs about 1 GB more memory.";
  return "Balanced: quick, and exact enough for most dictation.";
}

}  // namespace

std::vector<SpeechModelRow> speechModelRows(const std::string& chosenFile,
                                            const std::function<bool(const ModelStore::Item&)>& present) {
  std::vector<SpeechModelRow> rows;
  const auto& info = Config::speechModelInfo();
  for (const auto& choice : Config::speechModels()) {
    const ModelStore::Item item = ModelStore::speech(choice.file);
    SpeechModelRow row;
    row.file = choice.file;
    const auto described = info.find(choice.file);
    row.title = described != info.end() ? described->second.name : choice.label;
    row.note = noteFor(choice.file);
    row.licence = item.licence;
    row.bytes = item.bytes;
    row.present = present && present(item);
    row.chosen = choice.file == chosenFile;
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string modelSize(std::int64_t bytes) {
  char text[32];
  if (bytes >= 1'000'000'000) {
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
  } else {
    std::snprintf(text, sizeof text, "%lld MB", static_cast<long long>((bytes + 500'000) / 1'000'000));
  }
  return text;
}

}  // namespace quorvel
