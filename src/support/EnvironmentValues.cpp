// Reading environment variables and the decimal rule of numeric settings.
#include "support/EnvironmentValues.h"

#include <charconv>
#include <cstdlib>

extern char** environ;

namespace quorvel {

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> nonEmptyEnvironmentValue(const char* name) {
  auto value = environmentValue(name);
  if (!value || value->empty()) return std::nullopt;
  return value;
}

std::optional<std::int64_t> parseDecimalInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  // Parse with the sign attached so that INT64_MIN stays in range.
  std::string digits = negative ? "-" + std::string(text) : std::string(text);
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::map<std::string, std::string> currentEnvironment() {
  std::map<std::string, std::string> result;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    const auto equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    result.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
  }
  return result;
}

}  // namespace quorvel
