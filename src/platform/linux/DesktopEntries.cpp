// Finding an application's menu name in the freedesktop entries.
#include "platform/linux/DesktopEntries.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

#include "support/EnvironmentValues.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxEntries = 5000;      // folders with more are read only this far
constexpr std::uintmax_t kMaxEntryBytes = 1 << 20;

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

struct Entry {
  std::string name;
  std::string startupClass;
};

// The main group's Name (untranslated) and StartupWMClass.
std::optional<Entry> readEntry(const fs::path& file) {
  std::error_code error;
  const auto size = fs::file_size(file, error);
  if (error || size > kMaxEntryBytes) return std::nullopt;
  std::ifstream in(file);
  if (!in) return std::nullopt;
  Entry entry;
  bool inMain = false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with('[')) {
      inMain = line == "[Desktop Entry]";
      continue;
    }
    if (!inMain) continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    std::string value = line.substr(equals + 1);
    while (!value.empty() && value.front() == ' ') value.erase(value.begin());
    if (key == "Name") entry.name = value;
    if (key == "StartupWMClass") entry.startupClass = value;
  }
  if (entry.name.empty()) return std::nullopt;
  return entry;
}

}  // namespace

std::vector<fs::path> desktopEntryFolders() {
  std::vector<fs::path> folders;
  if (auto home = nonEmptyEnvironmentValue("XDG_DATA_HOME")) {
    folders.push_back(fs::path(*home) / "applications");
  } else if (auto user = nonEmptyEnvironmentValue("HOME")) {
    folders.push_back(fs::path(*user) / ".local/share/applications");
  }
  const std::string dirs = nonEmptyEnvironmentValue("XDG_DATA_DIRS").value_or("/usr/local/share:/usr/share");
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t colon = std::min(dirs.find(':', start), dirs.size());
    if (colon > start) folders.push_back(fs::path(dirs.substr(start, colon - start)) / "applications");
    start = colon + 1;
  }
  return folders;
}

std::optional<std::string> desktopEntryName(const std::string& id, const std::string& className,
                                            const std::vector<fs::path>& folders) {
  const std::string wantedId = lowered(id);
  const std::string wantedClass = lowered(className);
  if (wantedId.empty() && wantedClass.empty()) return std::nullopt;
  // An entry named after the application wins over one that only claims its
  // window class; folders earlier in the list win over later ones.
  for (const bool byFileName : {true, false}) {
    for (const fs::path& folder : folders) {
      std::error_code error;
      fs::directory_iterator it(folder, error);
      std::size_t seen = 0;
      for (; !error && it != fs::directory_iterator() && seen < kMaxEntries; it.increment(error), ++seen) {
        const fs::path& file = it->path();
        if (file.extension() != ".desktop") continue;
        const std::string stem = lowered(file.stem().string());
        if (byFileName) {
          if (stem != wantedId && stem != wantedClass) continue;
          if (auto entry = readEntry(file)) return entry->name;
        } else if (auto entry = readEntry(file); entry && !entry->startupClass.empty()) {
          const std::string claimed = lowered(entry->startupClass);
          if (claimed == wantedId || claimed == wantedClass) return entry->name;
        }
      }
    }
  }
  return std::nullopt;
}

}  // namespace quorvel
