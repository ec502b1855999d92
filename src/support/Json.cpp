// JSON helpers shared by every subsystem.
#include "support/Json.h"

#include "support/Utf8.h"

namespace quorvel {

std::optional<Json> parseJson(std::string_view text) {
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
