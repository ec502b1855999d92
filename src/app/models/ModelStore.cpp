// The model items, what is missing, the upgrade checks, the piece arithmetic
// and the texts the download shows.
#include "app/models/ModelStore.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "engine/Config.h"
#include "support/EnvironmentValues.h"
#include "support/Settings.h"

namespace quorvel {
namespace ModelStore {
namespace {

constexpr std::string_view layerFile = "adapters/cleanup-5.gguf";
constexpr std::string_view mergedFile = "cleanup-trained.gguf";
constexpr std::string_view speechFile = "ggml-small.en-q5_1.bin";

// The pinned public address, or the mirror's copy under the item's file name.
// An item without a public address is never fetched, from a mirror neither.
std::string addressOf(std::string_view file, std::string_view pinned) {
  if (pinned.empty()) return {};
  const auto host = mirror();
  if (!host) return std::string(pinned);
  const auto slash = file.rfind('/');
  return itemUrl(*host, slash == std::string_view::npos ? file : file.substr(slash + 1));
}

Item makeItem(std::string_view file, std::string_view pinned, std::int64_t bytes,
              std::string_view label, std::string_view sha256, std::string_view licence = {}) {
  return Item{std::string(file), addressOf(file, pinned), std::string(sha256), bytes,
              std::string(label), std::string(licence)};
}

bool allFilesAmong(const std::vector<Item>& items, std::initializer_list<std::string_view> files) {
  return std::all_of(items.begin(), items.end(), [&](const Item& item) {
    return std::find(files.begin(), files.end(), item.file) != files.end();
  });
}

std::optional<std::chrono::milliseconds> positiveMilliseconds(const char* variable) {
  const auto value = environmentValue(variable);
  if (!value) return std::nullopt;
  const auto number = parseDecimalInteger(*value);
  if (!number || *number <= 0) return std::nullopt;
  return std::chrono::milliseconds(*number);
}

bool isAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

bool Piece::here() const {
  std::error_code error;
  const auto size = fs::file_size(file, error);
  return !error && static_cast<std::int64_t>(size) == length;
}

std::optional<std::string> mirror() {
  static const std::optional<std::string> value = nonEmptyEnvironmentValue("QUORVEL_MODEL_HOST");
  return value;
}

std::string itemUrl(std::string_view host, std::string_view path) {
  while (!host.empty() && host.back() == '/') host.remove_suffix(1);
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  return std::string(host) + "/" + std::string(path);
}

Item speech() { return speech(chosenSpeechFile()); }

Item speech(std::string_view file) {
  constexpr std::string_view host = "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/";
  if (file == "ggml-base.en.bin") {
    return makeItem(file, std::string(host) + "ggml-base.en.bin", 147'964'211, "speech model",
                    "a03779c86df3323075f5e796cb2ce5029f00ec8869eee3fdfb897afe36c6d002", "MIT");
  }
  if (file == "ggml-large-v3-turbo-q5_0.bin") {
    return makeItem(file, std::string(host) + "ggml-large-v3-turbo-q5_0.bin", 574'041'195,
                    "speech model",
                    "394221709cd5ad1f40c46e6031ca61bce88931e6e088c188294c6d5a55ffa7e2", "MIT");
  }
  return makeItem(speechFile, std::string(host) + "ggml-small.en-q5_1.bin", 190'098'681,
                  "speech model",
                  "bfdff4894dcb76bbf647d56263ea2a96645423f1669176f4844a1bf8e478ad30", "MIT");
}

Item base() {
  return makeItem(Config::baseModelFile,
                  "https://huggingface.co/unsloth/Qwen3-1.7B-GGUF/resolve/main/Qwen3-1.7B-Q4_K_M.gguf",
                  1'107'409'472, "language model",
                  "b139949c5bd74937ad8ed8c8cf3d9ffb1e99c866c823204dc42c0d91fa181897", "Apache-2.0");
}

// No cleanup layer is published yet; the entry keeps the upgrade rules working
// for the day one is.
Item cleanupAdapter() {
  return makeItem(layerFile, "", 34'892'416, "Quorvel Cleanup",
                  "7c7654cb6052bf402dbe8ab7e0ed927ab8d0f80f18cec120d37234fd0b8781b4");
}

Item mergedCleanup() {
  return makeItem(mergedFile, "", 1'107'408'736, "Quorvel Cleanup",
                  "26c447b9ff4ece5857a23f92484ce1cd8b9086b17769c734b91370c19841d165");
}

std::string chosenSpeechFile() {
  const auto chosen = UserDefaults().value(Settings::speechModel.key);
  if (chosen && chosen->is_string()) {
    for (const auto& model : Config::speechModels()) {
      if (model.file == chosen->get<std::string>()) return model.file;
    }
  }
  return std::string(speechFile);
}

std::vector<Item> required() { return required(chosenSpeechFile()); }

std::vector<Item> required(std::string_view file) {
  std::vector<Item> items = {speech(file), base()};
  if (Item layer = cleanupAdapter(); !layer.url.empty()) items.push_back(std::move(layer));
  return items;
}

std::vector<Item> missing() {
  std::vector<Item> result;
  for (auto& item : required()) {
    if (!pathExists(Config::models() / item.file)) result.push_back(std::move(item));
  }
  return result;
}

bool isUpgrade(const std::vector<Item>& items) {
  if (items.empty()) return false;
  if (!allFilesAmong(items, {Config::baseModelFile, layerFile})) return false;
  return pathExists(Config::models() / std::string(mergedFile)) &&
         pathExists(Config::models() / std::string(speechFile));
}

bool isNewerLayer(const std::vector<Item>& items) {
  if (items.size() != 1 || items.front().file != layerFile) return false;
  return pathExists(Config::adapterFile("cleanup"));
}

void removeOlderLayers() {
  const std::string keep = Config::adapterFile("cleanup").filename().string();
  std::error_code error;
  std::vector<fs::path> doomed;
  for (fs::directory_iterator it(Config::adaptersDir(), error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with("cleanup") || !name.ends_with(".gguf") || name == keep) continue;
    std::error_code kind;
    if (it->is_directory(kind)) continue;  // only layer files, never a folder's contents
    doomed.push_back(it->path());
  }
  for (const auto& file : doomed) {
    std::error_code ignored;
    fs::remove(file, ignored);
  }
}

DownloadSettings DownloadSettings::fromEnvironment() {
  static const DownloadSettings settings = [] {
    DownloadSettings s;
    if (auto ca = nonEmptyEnvironmentValue("QUORVEL_CA_FILE")) s.caFile = *ca;
    if (auto value = environmentValue("QUORVEL_DOWNLOAD_PIECE_BYTES")) {
      if (auto number = parseDecimalInteger(*value); number && *number > 0) s.pieceSize = *number;
    }
    if (auto step = positiveMilliseconds("QUORVEL_DOWNLOAD_RETRY_MS")) s.retryStep = *step;
    if (auto timeout = positiveMilliseconds("QUORVEL_DOWNLOAD_TIMEOUT_MS")) {
      s.pieceTimeout = *timeout;
      s.wholeTimeout = *timeout * 3;
    }
    return s;
  }();
  DownloadSettings copy = settings;
  copy.cancel = CancelToken();  // copies of a token share its flag: each download gets its own
  return copy;
}

std::vector<Piece> pieces(const Item& item, const fs::path& parts, std::int64_t size) {
  if (!isUsableUrl(item.url) || size <= 0) return {};
  const std::int64_t count = item.bytes <= 0 ? 1 : (item.bytes - 1) / size + 1;
  std::string stem = item.file;
  std::replace(stem.begin(), stem.end(), '/', '_');
  std::vector<Piece> result;
  result.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t start = i * size;
    result.push_back(Piece{item.url, start, std::min(item.bytes - start, size), count == 1,
                           parts / (stem + "." + std::to_string(i))});
  }
  return result;
}

std::string progressText(std::int64_t done, std::int64_t total) {
  // Whole percent, rounded down in integers so that 42% never shows as 41.
  std::int64_t percent = 0;
  if (total > 0 && done > 0) {
    percent = static_cast<std::int64_t>(static_cast<__int128>(done) * 100 / total);
  }
  percent = std::min<std::int64_t>(percent, 99);
  char gigabytes[64];
  std::snprintf(gigabytes, sizeof gigabytes, "%.1f", static_cast<double>(total) / 1e9);
  return "Downloading Quorvel's models… " + std::to_string(percent) + "% of " + gigabytes + " GB";
}

std::string unavailableText(std::string_view label) {
  std::string text(label);
  bool wordStart = true;
  for (char& c : text) {
    if (isAsciiLetterOrDigit(c)) {
      if (wordStart && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (!wordStart && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      wordStart = false;
    } else {
      // Bytes of other scripts are left alone and do not start a word.
      wordStart = static_cast<unsigned char>(c) < 0x80;
    }
  }
  return text + " isn't available to download yet";
}

bool isUsableUrl(std::string_view url) {
  std::string_view rest;
  const auto startsWithNoCase = [&](std::string_view prefix) {
    if (url.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
      char c = url[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != prefix[i]) return false;
    }
    rest = url.substr(prefix.size());
    return true;
  };
  if (!startsWithNoCase("https://") && !startsWithNoCase("http://")) return false;
  constexpr std::string_view forbidden = "\"<>\\^`{|}";
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7f || forbidden.find(c) != std::string_view::npos) return false;
  }
  const auto authorityEnd = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authorityEnd);
  if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  return !authority.empty() && authority.front() != ':';
}

}  // namespace ModelStore
}  // namespace quorvel
