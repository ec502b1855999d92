// JSON helpers shared by every subsystem.
#include "support/Json.h"

#include "support/Utf8.h"

namespace quorvel {

namespace {

// Whether the brackets outside strings ever nest deeper than the limit. A
// single pass without recursion; malformed text is left for the parser.
bool nestsTooDeep(std::string_view text) {
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) return true;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

}  // namespace

std::optional<Json> parseJson(std::string_view text) {
  if (nestsTooDeep(text)) return std::nullopt;
  Json value = Json::parse(isValidUtf8(text) ? std::string(text) : repairUtf8(text), nullptr,
                           /*allow_exceptions=*/false);
  if (value.is_discarded()) return std::nullopt;
  return value;
}

std::string compactJson(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<std::string> stringMember(const Json& object, std::string_view key) {
  if (!object.is_object()) return std::nullopt;
  auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

std::optional<long long> integerMember(const Json& object, std::string_view key) {
  if (!object.is_object()) return std::nullopt;
  auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) return std::nullopt;
  return it->get<long long>();
}

std::optional<bool> boolMember(const Json& object, std::string_view key) {
  if (!object.is_object()) return std::nullopt;
  auto it = object.find(key);
  if (it == object.end() || !it->is_boolean()) return std::nullopt;
  return it->get<bool>();
}

}  // namespace quorvel
