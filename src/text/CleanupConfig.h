// The cleanup configuration file "cleanup.json": the system prompt and
// few-shot examples of the language-model cleanup, and the user's personal
// words. Loading falls back from the user's file to the default shipped with
// the program and then to a built-in record; saving rewrites only the four
// word keys and keeps everything else, including keys it does not know.
//
// There is no cache: every user loads the file when it needs it. Files are
// given by the caller (CleanupFiles); the engine passes Config's paths.
//
// Writes replace the user's file atomically (temporary file + rename), and
// every save holds an advisory lock on "<file>.lock", so a crash never leaves
// a half-written file and two savers never interleave. A load-change-save
// sequence should use updateWords, which holds the lock across all three
// steps so that concurrent changes (from threads or processes) all survive.
//
// Thread safety: every function may be called from any thread. No function
// throws or reports an error; failures are logged and leave the file as it was.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/Json.h"
#include "support/UserDefaults.h"
#include "text/PersonalWords.h"

namespace quorvel {

struct CleanupFiles {
  std::filesystem::path user;                     // the user's file, in the data folder
  std::optional<std::filesystem::path> resource;  // the default file shipped with the program
};

struct CleanupConfig {
  std::string system;
  std::vector<std::string> dictionary;
  std::optional<std::map<std::string, std::string>> aliases;
  std::optional<std::vector<std::string>> speechHints;
  std::vector<std::vector<std::string>> examples;
  std::optional<std::vector<std::string>> learned;
  std::optional<std::vector<std::string>> recent;

  bool operator==(const CleanupConfig&) const = default;

  // The user's vocabulary: dictionary, aliases, learned and recent (absent = empty).
  PersonalWords personal() const;

  // The record used when no file can be read: a one-line system prompt, no
  // words, no examples.
  static CleanupConfig defaultRecord();

  // The user's file, else the default resource, else defaultRecord(). A file
  // that cannot be read, is not JSON, is too large, or fails strict decoding
  // is skipped (and never written by a load).
  static CleanupConfig load(const CleanupFiles& files);

  // Stores the words in the user's file (created from the resource when
  // missing), then posts WordsChanged. A user file that cannot be read or is
  // not a JSON object is left alone and nothing is posted.
  static void saveWords(const CleanupFiles& files, const PersonalWords& words);

  // Load, change and save under the file lock: `change` gets the words stored
  // in the user's file (or, while it does not exist, the resource's) and
  // answers whether to save them. True when the words were written. Nothing
  // is written when the file cannot be read, is not a JSON object, or holds a
  // word key of the wrong type (saving would destroy it).
  static bool updateWords(const CleanupFiles& files, const std::function<bool(PersonalWords&)>& change);

  // Moves the older "speechHints" into the dictionary (once: the list is then
  // emptied), repairing learned words on the way.
  static void migrateSpeechHints(const CleanupFiles& files);

  // Once per user account (Settings::addedProductWord): puts "Quorvel" at
  // the front of the dictionary unless it is already there in any case.
  // True when the word was inserted.
  static bool seedProductWord(const CleanupFiles& files, UserDefaults& defaults);
};

inline constexpr std::string_view kProductWord = "Quorvel";

// Strict decoding: "system", "dictionary" and "examples" present with the
// right types, "aliases", "speechHints", "learned" and "recent" missing, null
// or of the right type; unknown keys ignored. Any wrong type: nothing.
std::optional<CleanupConfig> decodeCleanupConfig(const Json& value);
// The JSON object of a record; absent optional fields are left out.
Json toJson(const CleanupConfig& config);
// How the file is written: pretty-printed, keys sorted, "/" not escaped,
// invalid UTF-8 repaired, a final line feed.
std::string cleanupFileText(const Json& object);

}  // namespace quorvel
