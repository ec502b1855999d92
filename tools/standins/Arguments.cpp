// Flag-table parsing and the common value checks.
#include "Arguments.h"

#include <charconv>
#include <sstream>

namespace quorvel::standin {

std::string ParsedArguments::last(const std::string& flag, const std::string& fallback) const {
  const auto found = values.find(flag);
  if (found == values.end() || found->second.empty()) return fallback;
  return found->second.back();
}

const std::vector<std::string>& ParsedArguments::all(const std::string& flag) const {
  static const std::vector<std::string> none;
  const auto found = values.find(flag);
  return found == values.end() ? none : found->second;
}

ParseOutcome parseArguments(const std::vector<std::string>& args, const std::vector<FlagSpec>& flags) {
  ParsedArguments parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      parsed.helpRequested = true;
      continue;
    }
    const FlagSpec* matched = nullptr;
    for (const FlagSpec& candidate : flags) {
      if (candidate.name == arg) matched = &candidate;
    }
    if (matched == nullptr) return {std::nullopt, "unknown argument: " + arg};
    auto& slot = parsed.values[arg];
    if (!matched->takesValue) {
      slot.emplace_back();
      continue;
    }
    if (i + 1 >= args.size()) return {std::nullopt, "expected value after " + arg};
    const std::string& value = args[++i];
    if (matched->check) {
      if (auto problem = matched->check(value)) {
        return {std::nullopt, "invalid value for " + arg + ": \"" + value + "\" (" + *problem + ")"};
      }
    }
    slot.push_back(value);
  }
  return {std::move(parsed), {}};
}

std::string usageText(std::string_view program, const std::vector<FlagSpec>& flags) {
  std::ostringstream out;
  out << "usage: " << program << " [options]\n\n";
  for (const FlagSpec& flag : flags) {
    std::string left = flag.name + (flag.takesValue ? " VALUE" : "");
    if (left.size() < 34) left.resize(34, ' ');
    out << "  " << left << " " << flag.help << "\n";
  }
  out << "  -h, --help                         this text\n";
  return out.str();
}

ValueCheck integerBetween(long long min, long long max) {
  return [min, max](const std::string& value) -> std::optional<std::string> {
    long long number = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, number);
    if (value.empty() || error != std::errc() || stop != end) return "not an integer";
    if (number < min || number > max) {
      return "must be between " + std::to_string(min) + " and " + std::to_string(max);
    }
    return std::nullopt;
  };
}

ValueCheck oneOf(std::vector<std::string> choices) {
  return [choices = std::move(choices)](const std::string& value) -> std::optional<std::string> {
    for (const std::string& choice : choices) {
      if (choice == value) return std::nullopt;
    }
    std::string list;
    for (const std::string& choice : choices) list += (list.empty() ? "" : ", ") + choice;
    return "expected one of " + list;
  };
}

ValueCheck nonEmpty() {
  return [](const std::string& value) -> std::optional<std::string> {
    if (value.empty()) return "must not be empty";
    return std::nullopt;
  };
}

}  // namespace quorvel::standin
