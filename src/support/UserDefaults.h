// The user-defaults store: one JSON object file of typed settings
// ($XDG_CONFIG_HOME/quorvel/defaults.json). A Bool stays a Bool, so a getter
// can tell "absent" from "holds another type". Writes are atomic and made
// under an advisory lock, so two processes never lose each other's changes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "support/Files.h"
#include "support/Json.h"
#include "support/Result.h"

namespace quorvel {

class UserDefaults {
 public:
  // The standard store: its file is resolved from XDG_CONFIG_HOME at every
  // call, so a test that points XDG_CONFIG_HOME elsewhere gets a fresh store.
  UserDefaults();
  // A store in the given file (for instance the predecessor's suite).
  explicit UserDefaults(fs::path file);

  static UserDefaults standard() { return UserDefaults(); }

  fs::path file() const;

  // The stored value, or nothing when the key is absent. A missing or
  // unreadable file holds nothing.
  std::optional<Json> value(std::string_view key) const;
  bool contains(std::string_view key) const { return value(key).has_value(); }

  // The value when present with that type; nothing when absent or of another type.
  std::optional<bool> boolValue(std::string_view key) const;
  std::optional<long long> integerValue(std::string_view key) const;
  std::optional<double> numberValue(std::string_view key) const;
  std::optional<std::string> stringValue(std::string_view key) const;

  // A Bool setting: its stored Bool, else fallback (absent or another type).
  bool boolOr(std::string_view key, bool fallback) const {
    return boolValue(key).value_or(fallback);
  }

  Status set(std::string_view key, Json value);
  Status remove(std::string_view key);

  // Read-modify-write under the lock: change receives the current object and
  // edits it in place; the result is written atomically. A file that is not a
  // JSON object is kept aside (".unreadable") rather than overwritten.
  Status update(const std::function<void(Json& object)>& change);

  // The whole stored object (empty when absent or unreadable).
  Json snapshot() const;

 private:
  std::optional<fs::path> file_;
};

}  // namespace quorvel
