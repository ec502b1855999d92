// The JSON-file user-defaults store with a small parse cache.
#include "support/UserDefaults.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <map>
#include <mutex>

#include "support/Log.h"
#include "support/WriteProblems.h"

namespace quorvel {
namespace {

struct CachedFile {
  struct timespec modified {};
  off_t size = -1;
  ino_t inode = 0;
  Json object = Json::object();
};

std::mutex& cacheMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, CachedFile>& cache() {
  static std::map<std::string, CachedFile> files;
  return files;
}

bool sameStamp(const CachedFile& cached, const struct stat& info) {
  return cached.size == info.st_size && cached.inode == info.st_ino &&
         cached.modified.tv_sec == info.st_mtim.tv_sec &&
         cached.modified.tv_nsec == info.st_mtim.tv_nsec;
}

// Parses the file as a JSON object; nothing when absent or not an object.
std::optional<Json> readObject(const fs::path& file) {
  auto text = readWholeFile(file);
  if (!text) return std::nullopt;
  auto parsed = parseJson(*text);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  return parsed;
}

// The file's object, re-read only when the file changed since the last read.
Json loadCached(const fs::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return Json::object();
  std::scoped_lock lock(cacheMutex());
  auto& entry = cache()[file.string()];
  if (!sameStamp(entry, info)) {
    entry.object = readObject(file).value_or(Json::object());
    entry.size = info.st_size;
    entry.inode = info.st_ino;
    entry.modified = info.st_mtim;
  }
  return entry.object;
}

}  // namespace

UserDefaults::UserDefaults() = default;
UserDefaults::UserDefaults(fs::path file) : file_(std::move(file)) {}

fs::path UserDefaults::file() const {
  if (file_) return *file_;
  return xdgConfigHome() / "quorvel" / "defaults.json";
}

Json UserDefaults::snapshot() const { return loadCached(file()); }

std::optional<Json> UserDefaults::value(std::string_view key) const {
  Json object = loadCached(file());
  auto it = object.find(key);
  if (it == object.end()) return std::nullopt;
  return *it;
}

std::optional<bool> UserDefaults::boolValue(std::string_view key) const {
  auto stored = value(key);
  if (!stored || !stored->is_boolean()) return std::nullopt;
  return stored->get<bool>();
}

std::optional<long long> UserDefaults::integerValue(std::string_view key) const {
  auto stored = value(key);
  if (!stored || !stored->is_number_integer()) return std::nullopt;
  return stored->get<long long>();
}

std::optional<double> UserDefaults::numberValue(std::string_view key) const {
  auto stored = value(key);
  if (!stored || !stored->is_number()) return std::nullopt;
  return stored->get<double>();
}

std::optional<std::string> UserDefaults::stringValue(std::string_view key) const {
  auto stored = value(key);
  if (!stored || !stored->is_string()) return std::nullopt;
  return stored->get<std::string>();
}

Status UserDefaults::set(std::string_view key, Json newValue) {
  return update([&](Json& object) { object[std::string(key)] = std::move(newValue); });
}

Status UserDefaults::remove(std::string_view key) {
  return update([&](Json& object) { object.erase(std::string(key)); });
}

Status UserDefaults::update(const std::function<void(Json& object)>& change) {
  const fs::path path = file();
  if (!createFolders(path.parent_path())) {
    return Error{"could not create " + path.parent_path().string()};
  }
  FileLock lock(path.string() + ".lock");
  if (!lock.held()) return Error{"could not lock " + path.string()};

  Json object = Json::object();
  if (pathExists(path)) {
    if (auto current = readObject(path)) {
      object = std::move(*current);
    } else {
      // Never overwrite a file we cannot read: keep it for the user, under a
      // name no earlier damaged file holds.
      std::optional<fs::path> aside;
      for (int n = 1; n <= 1000 && !aside; ++n) {
        fs::path candidate = path.string() + ".unreadable" + (n == 1 ? "" : "-" + std::to_string(n));
        if (::link(path.c_str(), candidate.c_str()) == 0) {
          aside = std::move(candidate);
        } else if (errno != EEXIST) {
          break;
        }
      }
      if (!aside || ::unlink(path.c_str()) != 0) {
        return Error{"could not set aside unreadable " + path.string()};
      }
      logLine("Quorvel: " + path.string() + " could not be read as settings; it was kept as " +
              aside->filename().string() + " and the settings start afresh");
    }
  }
  change(object);
  Status written = writeFileAtomically(path, object.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
  if (written) {
    WriteProblems::succeeded(WriteProblems::File::settings);
  } else {
    WriteProblems::failed(WriteProblems::File::settings, written.error());
  }
  return written;
}

}  // namespace quorvel
