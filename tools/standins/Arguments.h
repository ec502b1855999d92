// Command-line parsing for the stand-ins: a fixed table of flags, anything
// else refused, the way the real servers refuse what they do not know.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::standin {

// Checks one flag's value; answers an error message, or nullopt when valid.
using ValueCheck = std::function<std::optional<std::string>(const std::string& value)>;

struct FlagSpec {
  std::string name;       // as typed, e.g. "--port" or "-m"
  bool takesValue = true;  // false for switches such as "--jinja"
  ValueCheck check;        // optional
  std::string help;        // one line for the usage text
};

// The accepted arguments. A flag given twice keeps all its values in order.
struct ParsedArguments {
  std::map<std::string, std::vector<std::string>> values;
  bool helpRequested = false;

  bool has(const std::string& flag) const { return values.count(flag) != 0; }
  // The last value of a flag, or `fallback` when absent (or a switch).
  std::string last(const std::string& flag, const std::string& fallback = "") const;
  const std::vector<std::string>& all(const std::string& flag) const;
};

struct ParseOutcome {
  std::optional<ParsedArguments> arguments;  // absent when refused
  std::string error;                         // why they were refused
};

// Parses argv[1..]. "-h"/"--help" sets helpRequested; everything not in
// `flags`, a flag without its value, or a value its check rejects is refused.
ParseOutcome parseArguments(const std::vector<std::string>& args, const std::vector<FlagSpec>& flags);

std::string usageText(std::string_view program, const std::vector<FlagSpec>& flags);

// Common value checks.
ValueCheck integerBetween(long long min, long long max);
ValueCheck oneOf(std::vector<std::string> choices);
ValueCheck nonEmpty();

}  // namespace quorvel::standin
