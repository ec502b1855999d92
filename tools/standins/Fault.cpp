// Fault names.
#include "Fault.h"

#include <array>
#include <utility>

namespace quorvel::standin {

namespace {

constexpr std::array<std::pair<Fault, std::string_view>, 7> kNames{{
    {Fault::none, ""},
    {Fault::hang, "hang"},
    {Fault::http500, "http500"},
    {Fault::notjson, "notjson"},
    {Fault::notext, "notext"},
    {Fault::drop, "drop"},
    {Fault::exit, "exit"},
}};

}  // namespace

std::optional<Fault> parseFault(std::string_view name) {
  for (const auto& [fault, text] : kNames) {
    if (text == name) return fault;
  }
  return std::nullopt;
}

std::string_view faultName(Fault fault) {
  for (const auto& [candidate, text] : kNames) {
    if (candidate == fault) return text;
  }
  return "";
}

}  // namespace quorvel::standin
