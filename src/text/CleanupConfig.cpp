// Loading and saving the cleanup configuration file.
#include "text/CleanupConfig.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <system_error>

#include "support/Files.h"
#include "support/Log.h"
#include "support/Settings.h"
#include "support/WriteProblems.h"
#include "text/NameText.h"
#include "text/WordsChanged.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// Far above any real configuration (thousands of words are a few hundred
// kilobytes); a larger file is treated as unreadable rather than loaded.
constexpr std::uintmax_t kMaxFileBytes = 16u * 1024u * 1024u;

// Logs a line once per state of a file (its stamp) and message for the life
// of the process, so a broken file is reported once rather than at every
// dictation, and each different thing said about it is said once.
void logOnce(const std::string& stamp, const std::string& line) {
  static std::mutex mutex;
  static std::set<std::string> logged;
  {
    std::scoped_lock lock(mutex);
    if (!logged.insert(stamp + '\n' + line).second) return;
  }
  logLine(line);
}

std::string fileStamp(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  const auto time = fs::last_write_time(path, error);
  return path.string() + "|" + std::to_string(size) + "|" +
         std::to_string(time.time_since_epoch().count());
}

// The file's text, or nothing when it is missing, unreadable or too large.
std::optional<std::string> readConfigFile(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  if (error) return std::nullopt;
  if (size > kMaxFileBytes) {
    logOnce(fileStamp(path), "Quorvel: " + path.string() + " is too large to be a cleanup configuration; ignored");
    return std::nullopt;
  }
  return readWholeFile(path);
}

std::optional<Json> readObject(const fs::path& path) {
  auto text = readConfigFile(path);
  if (!text) return std::nullopt;
  auto parsed = parseJson(*text);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  return parsed;
}

std::optional<std::vector<std::string>> stringList(const Json& value) {
  if (!value.is_array()) return std::nullopt;
  std::vector<std::string> out;
  out.reserve(value.size());
  for (const Json& item : value) {
    if (!item.is_string()) return std::nullopt;
    out.push_back(item.get<std::string>());
  }
  return out;
}

std::optional<std::map<std::string, std::string>> stringMap(const Json& value) {
  if (!value.is_object()) return std::nullopt;
  std::map<std::string, std::string> out;
  for (const auto& [key, item] : value.items()) {
    if (!item.is_string()) return std::nullopt;
    out.emplace(key, item.get<std::string>());
  }
  return out;
}

// An optional member: missing or null is fine (nothing), a wrong type is a failure.
template <class T, class Decode>
bool decodeOptional(const Json& object, const char* key, std::optional<T>& field, Decode decode) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return true;
  field = decode(*it);
  return field.has_value();
}

// The four word keys of a file's object, or nothing when one has the wrong type.
std::optional<PersonalWords> wordsOfObject(const Json& object) {
  std::optional<std::vector<std::string>> dictionary, learned, recent;
  std::optional<std::map<std::string, std::string>> aliases;
  if (!decodeOptional(object, "dictionary", dictionary, stringList) ||
      !decodeOptional(object, "aliases", aliases, stringMap) ||
      !decodeOptional(object, "learned", learned, stringList) ||
      !decodeOptional(object, "recent", recent, stringList)) {
    return std::nullopt;
  }
  PersonalWords words;
  words.dictionary = dictionary.value_or(std::vector<std::string>{});
  words.aliases = aliases.value_or(std::map<std::string, std::string>{});
  words.learned = learned.value_or(std::vector<std::string>{});
  words.recent = recent.value_or(std::vector<std::string>{});
  return words;
}

void setWords(Json& object, const PersonalWords& words) {
  object["dictionary"] = words.dictionary;
  object["aliases"] = Json::object();
  for (const auto& [heard, written] : words.aliases) object["aliases"][heard] = written;
  object["learned"] = words.learned;
  object["recent"] = words.recent;
}

// Where the user's file is written: through a symbolic link to its target, so
// a linked configuration stays linked.
fs::path writeTarget(const fs::path& user) {
  std::error_code error;
  if (fs::is_symlink(fs::symlink_status(user, error))) {
    const fs::path target = fs::weakly_canonical(user, error);
    if (!error) return target;
  }
  return user;
}

bool writeObject(const fs::path& user, const Json& object) {
  const Status written = writeFileAtomically(writeTarget(user), cleanupFileText(object));
  if (!written.ok()) {
    WriteProblems::failed(WriteProblems::File::words, written.error());
    return false;
  }
  WriteProblems::succeeded(WriteProblems::File::words);
  return true;
}

// Holds the file's advisory lock. The data folder is created first so the lock
// file can exist; without a lock (a read-only folder) the save goes on and its
// write fails on its own.
class ConfigLock {
 public:
  explicit ConfigLock(const fs::path& user)
      : created_(createFolders(user.parent_path().empty() ? fs::path(".") : user.parent_path())),
        lock_(user.string() + ".lock") {}

 private:
  bool created_;
  FileLock lock_;
};

// REQUIRES: the lock held. The object a save starts from: the user's file;
// while it does not exist, the resource (a fresh copy) or the built-in record.
// Nothing when the user's file exists but cannot be read as a JSON object.
std::optional<Json> baseObject(const CleanupFiles& files) {
  std::error_code error;
  if (pathExists(files.user) || fs::is_symlink(fs::symlink_status(files.user, error))) {
    auto object = readObject(files.user);
    if (!object) {
      logOnce(fileStamp(files.user), "Quorvel: " + files.user.string() +
                                         " is not a readable JSON object; the personal words were not saved");
    }
    return object;
  }
  if (files.resource) {
    if (auto object = readObject(*files.resource)) return object;
  }
  return toJson(CleanupConfig::defaultRecord());
}

}  // namespace

PersonalWords CleanupConfig::personal() const {
  PersonalWords words;
  words.dictionary = dictionary;
  words.aliases = aliases.value_or(std::map<std::string, std::string>{});
  words.learned = learned.value_or(std::vector<std::string>{});
  words.recent = recent.value_or(std::vector<std::string>{});
  return words;
}

CleanupConfig CleanupConfig::defaultRecord() {
  CleanupConfig config;
  config.system = "Clean up this dictated text. Output only the cleaned text.";
  return config;
}

std::optional<CleanupConfig> decodeCleanupConfig(const Json& value) {
  if (!value.is_object()) return std::nullopt;
  CleanupConfig config;
  auto system = value.find("system");
  if (system == value.end() || !system->is_string()) return std::nullopt;
  config.system = system->get<std::string>();

  auto dictionary = value.find("dictionary");
  if (dictionary == value.end()) return std::nullopt;
  auto words = stringList(*dictionary);
  if (!words) return std::nullopt;
  config.dictionary = std::move(*words);

  auto examples = value.find("examples");
  if (examples == value.end() || !examples->is_array()) return std::nullopt;
  for (const Json& example : *examples) {
    auto texts = stringList(example);
    if (!texts) return std::nullopt;
    config.examples.push_back(std::move(*texts));
  }

  if (!decodeOptional(value, "aliases", config.aliases, stringMap) ||
      !decodeOptional(value, "speechHints", config.speechHints, stringList) ||
      !decodeOptional(value, "learned", config.learned, stringList) ||
      !decodeOptional(value, "recent", config.recent, stringList)) {
    return std::nullopt;
  }
  return config;
}

Json toJson(const CleanupConfig& config) {
  Json out = Json::object();
  out["system"] = config.system;
  out["dictionary"] = config.dictionary;
  out["examples"] = config.examples;
  if (config.aliases) {
    out["aliases"] = Json::object();
    for (const auto& [heard, written] : *config.aliases) out["aliases"][heard] = written;
  }
  if (config.speechHints) out["speechHints"] = *config.speechHints;
  if (config.learned) out["learned"] = *config.learned;
  if (config.recent) out["recent"] = *config.recent;
  return out;
}

std::string cleanupFileText(const Json& object) {
  // nlohmann keeps object keys sorted and never escapes "/".
  return object.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

CleanupConfig CleanupConfig::load(const CleanupFiles& files) {
  std::vector<fs::path> candidates{files.user};
  if (files.resource) candidates.push_back(*files.resource);
  for (const fs::path& candidate : candidates) {
    auto text = readConfigFile(candidate);
    if (!text) continue;
    auto parsed = parseJson(*text);
    auto config = parsed ? decodeCleanupConfig(*parsed) : std::nullopt;
    if (config) return std::move(*config);
    logOnce(fileStamp(candidate), "Quorvel: " + candidate.string() +
                                      " is not a valid cleanup configuration; using the next one");
  }
  return defaultRecord();
}

void CleanupConfig::saveWords(const CleanupFiles& files, const PersonalWords& words) {
  bool reachedWrite = false;
  {
    ConfigLock lock(files.user);
    std::optional<Json> object = baseObject(files);
    if (object) {
      setWords(*object, words);
      writeObject(files.user, *object);
      reachedWrite = true;
    }
  }
  if (reachedWrite) WordsChanged::post();
}

bool CleanupConfig::updateWords(const CleanupFiles& files, const std::function<bool(PersonalWords&)>& change) {
  bool written = false;
  {
    ConfigLock lock(files.user);
    std::optional<Json> object = baseObject(files);
    if (!object) return false;
    std::optional<PersonalWords> words = wordsOfObject(*object);
    if (!words) {
      logOnce(fileStamp(files.user), "Quorvel: " + files.user.string() +
                                         " has personal words of the wrong type; they were not changed");
      return false;
    }
    if (!change(*words)) return false;
    setWords(*object, *words);
    written = writeObject(files.user, *object);
  }
  WordsChanged::post();
  return written;
}

void CleanupConfig::migrateSpeechHints(const CleanupFiles& files) {
  {
    ConfigLock lock(files.user);
    std::optional<Json> object = readObject(files.user);
    if (!object) return;
    auto hints = object->find("speechHints");
    if (hints == object->end()) return;
    std::optional<std::vector<std::string>> list = stringList(*hints);
    if (!list || list->empty()) return;
    std::optional<PersonalWords> words = wordsOfObject(*object);
    if (!words) return;
    for (const std::string& hint : *list) words->add(hint);
    words->repairLearned();
    setWords(*object, *words);
    (*object)["speechHints"] = Json::array();
    if (!writeObject(files.user, *object)) return;
  }
  WordsChanged::post();
}

bool CleanupConfig::seedProductWord(const CleanupFiles& files, UserDefaults& defaults) {
  if (Settings::addedProductWord.read(defaults)) return false;
  if (const Status marked = Settings::addedProductWord.write(defaults, true); !marked.ok()) {
    logLine("Quorvel: could not remember that the product word was added: " + marked.error());
  }
  return updateWords(files, [](PersonalWords& words) {
    const bool present = std::any_of(words.dictionary.begin(), words.dictionary.end(), [](const std::string& word) {
      return nametext::equalsIgnoringCase(word, kProductWord);
    });
    if (present) return false;
    words.dictionary.insert(words.dictionary.begin(), std::string(kProductWord));
    return true;
  });
}

}  // namespace quorvel
