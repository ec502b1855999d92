// JSON through nlohmann/json, with parsing that reports failures as values and
// serialisation that repairs invalid UTF-8 instead of throwing.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

using Json = nlohmann::json;

// Deepest nesting of arrays and objects parseJson accepts. Everything we read
// comes from outside (files, servers, console lines); nesting beyond this is
// refused before any recursive code (copies, dumps, lookups) could overflow
// the stack on it. No value we write comes near it.
inline constexpr int kMaxJsonDepth = 64;

// The parsed value, or nothing when text is not JSON or nests arrays and
// objects deeper than kMaxJsonDepth (invalid UTF-8 inside strings is repaired
// to U+FFFD first).
std::optional<Json> parseJson(std::string_view text);

// Compact serialisation (no spaces), invalid UTF-8 replaced by U+FFFD.
std::string compactJson(const Json& value);

// Typed member access: the member's value when present with that type.
std::optional<std::string> stringMember(const Json& object, std::string_view key);
std::optional<long long> integerMember(const Json& object, std::string_view key);
std::optional<bool> boolMember(const Json& object, std::string_view key);

}  // namespace quorvel
