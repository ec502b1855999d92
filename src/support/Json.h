// JSON through nlohmann/json, with parsing that reports failures as values and
// serialisation that repairs invalid UTF-8 instead of throwing.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

using Json = nlohmann::json;

// The parsed value, or nothing when text is not JSON (invalid UTF-8 inside
// strings is repaired to U+FFFD first).
std::optional<Json> parseJson(std::string_view text);

// Compact serialisation (no spaces), invalid UTF-8 replaced by U+FFFD.
std::string compactJson(const Json& value);

// Typed member access: the member's value when present with that type.
std::optional<std::string> stringMember(const Json& object, std::string_view key);
std::optional<long long> integerMember(const Json& object, std::string_view key);
std::optional<bool> boolMember(const Json& object, std::string_view key);

}  // namespace quorvel
