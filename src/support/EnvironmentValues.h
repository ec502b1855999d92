// Reading environment variables, and the decimal rule every numeric setting shares.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// The variable's value when it is set (possibly empty).
std::optional<std::string> environmentValue(const char* name);

// The variable's value when it is set and not empty.
std::optional<std::string> nonEmptyEnvironmentValue(const char* name);

// A decimal integer: an optional leading "+" or "-", then digits only, within
// the signed 64-bit range. Anything else (empty, spaces, letters) is nothing.
std::optional<std::int64_t> parseDecimalInteger(std::string_view text);

// The program's whole environment as a map (used to build a child's).
std::map<std::string, std::string> currentEnvironment();

}  // namespace quorvel
