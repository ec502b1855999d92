// Argument kinds and checks of the rules console.
#include "RuleRegistry.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

namespace quorvel::rules {
namespace {

bool isIntInRange(const Json& value) {
  if (value.is_number_unsigned()) return value.get<unsigned long long>() <= INT_MAX;
  if (!value.is_number_integer()) return false;
  const long long number = value.get<long long>();
  return number >= INT_MIN && number <= INT_MAX;
}

// Why `value` is not a cursor context, or nothing when it is one.
std::optional<std::string> contextProblem(const Json& value) {
  if (value.is_null()) return std::nullopt;
  if (!value.is_object()) return "an object {before, after, kind, app} or null";
  for (const char* key : {"before", "after"}) {
    const auto it = value.find(key);
    if (it == value.end() || !it->is_string()) {
      return std::string("a context whose \"") + key + "\" is a string";
    }
  }
  if (const auto kind = value.find("kind"); kind != value.end()) {
    if (!kind->is_string() || !kindNamed(kind->get<std::string>())) {
      return "a context whose \"kind\" is singleLine, multiLine, search or unknown";
    }
  }
  if (const auto app = value.find("app"); app != value.end()) {
    if (!app->is_string() && !app->is_null()) return "a context whose \"app\" is a string or null";
  }
  return std::nullopt;
}

// What `value` should have been, or nothing when it is of that kind.
std::optional<std::string> kindProblem(Arg kind, const Json& value) {
  switch (kind) {
    case Arg::text:
      if (value.is_string()) return std::nullopt;
      return "a string";
    case Arg::integer:
      if (isIntInRange(value)) return std::nullopt;
      return "an integer from " + std::to_string(INT_MIN) + " to " + std::to_string(INT_MAX);
    case Arg::flag:
      if (value.is_boolean()) return std::nullopt;
      return "true or false";
    case Arg::texts:
      if (value.is_array()) {
        bool allStrings = true;
        for (const Json& item : value) allStrings = allStrings && item.is_string();
        if (allStrings) return std::nullopt;
      }
      return "an array of strings";
    case Arg::context:
      return contextProblem(value);
    case Arg::number:
      // The parser gives only finite numbers; NaN and infinity are not JSON.
      if (value.is_number()) return std::nullopt;
      return "a number";
  }
  return "a value of a known kind";
}

}  // namespace

std::string_view argName(Arg kind) {
  switch (kind) {
    case Arg::text: return "text";
    case Arg::integer: return "integer";
    case Arg::flag: return "flag";
    case Arg::texts: return "texts";
    case Arg::context: return "context";
    case Arg::number: return "number";
  }
  return "value";
}

std::string Args::text(size_t index) const { return values_.at(index).get<std::string>(); }

int Args::integer(size_t index) const { return values_.at(index).get<int>(); }

bool Args::flag(size_t index) const { return values_.at(index).get<bool>(); }

std::vector<std::string> Args::texts(size_t index) const {
  return values_.at(index).get<std::vector<std::string>>();
}

std::optional<CursorContext> Args::context(size_t index) const {
  const Json& value = values_.at(index);
  if (value.is_null()) return std::nullopt;
  CursorContext context;
  context.before = value.at("before").get<std::string>();
  context.after = value.at("after").get<std::string>();
  if (const auto kind = value.find("kind"); kind != value.end()) {
    context.kind = kindNamed(kind->get<std::string>()).value_or(CursorContext::Kind::unknown);
  }
  if (const auto app = value.find("app"); app != value.end() && app->is_string()) {
    context.app = app->get<std::string>();
  }
  return context;
}

double Args::number(size_t index) const { return values_.at(index).get<double>(); }

const Rule* findRule(std::string_view name) {
  static const std::unordered_map<std::string_view, const Rule*> byName = [] {
    std::unordered_map<std::string_view, const Rule*> map;
    for (const Rule& rule : allRules()) map.emplace(rule.name, &rule);
    return map;
  }();
  const auto it = byName.find(name);
  return it == byName.end() ? nullptr : it->second;
}

std::optional<std::string> argumentProblem(const Rule& rule, const Json& values) {
  const size_t most = rule.parameters.size();
  const size_t least = most - std::min(rule.optionalTrailing, most);
  std::string signature = rule.name + "(";
  for (size_t i = 0; i < most; ++i) {
    if (i > 0) signature += ", ";
    if (i == least) signature += "[";
    signature += argName(rule.parameters[i]);
  }
  if (least < most) signature += "]";
  signature += ")";

  if (!values.is_array()) return "\"args\" must be an array: " + signature;
  if (values.size() < least || values.size() > most) {
    const std::string count =
        least == most ? std::to_string(most) : std::to_string(least) + " to " + std::to_string(most);
    return signature + " takes " + count + " argument" + (most == 1 ? "" : "s") + ", got " +
           std::to_string(values.size());
  }
  for (size_t i = 0; i < values.size(); ++i) {
    if (auto problem = kindProblem(rule.parameters[i], values[i])) {
      return "argument " + std::to_string(i + 1) + " of " + signature + " must be " + *problem;
    }
  }
  return std::nullopt;
}

}  // namespace quorvel::rules
