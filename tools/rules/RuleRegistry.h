// The functions the rules console can call: each has a name, the kinds of its
// arguments, and an adapter from checked JSON arguments to a JSON result.
//
// To make a new text rule callable, add one line to the table in Rules.cpp:
//
//   {"myRule", {Arg::text, Arg::integer},
//    [](const Args& a) { return Json(TextHelpers::myRule(a.text(0), a.integer(1))); }},
//
// A parameter with a default may be left optional at the end of the list:
//
//   {"myRule", {Arg::text, Arg::number},
//    [](const Args& a) { return Json(a.given(1) ? myRule(a.text(0), a.number(1)) : myRule(a.text(0))); },
//    1},
//
// The console checks the count and the kinds before calling the adapter, so an
// adapter only converts. An adapter may throw RuleFailure (or any
// std::exception) for a failure of its own, such as a pattern that does not
// compile; the console turns it into an error line.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/Json.h"
#include "text/CursorContext.h"

namespace quorvel::rules {

enum class Arg {
  text,     // a JSON string
  integer,  // a JSON integer that fits an int
  flag,     // true or false
  texts,    // an array of strings
  context,  // {"before", "after", "kind", "app"} or null
  number,   // any finite JSON number, 0.65 as well as 1
};

// "text", "integer", ... as shown in error messages.
std::string_view argName(Arg kind);

// The arguments of one call, already checked against the rule's kinds.
class Args {
 public:
  explicit Args(const Json& values) : values_(values) {}

  std::string text(size_t index) const;
  int integer(size_t index) const;
  bool flag(size_t index) const;
  std::vector<std::string> texts(size_t index) const;
  std::optional<CursorContext> context(size_t index) const;
  double number(size_t index) const;
  // Whether the call gave an argument at index (trailing optional ones may be left out).
  bool given(size_t index) const { return index < values_.size(); }

 private:
  const Json& values_;
};

struct RuleFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Rule {
  std::string name;
  std::vector<Arg> parameters;
  std::function<Json(const Args&)> call;
  // How many of the last parameters a call may leave out (the function's
  // own defaults then apply); the adapter asks Args::given.
  size_t optionalTrailing = 0;
};

// Every callable rule (the table in Rules.cpp).
const std::vector<Rule>& allRules();

// The rule with that name; nullptr when there is none.
const Rule* findRule(std::string_view name);

// Why `values` cannot be the arguments of `rule` (count or kinds), or nothing
// when they can.
std::optional<std::string> argumentProblem(const Rule& rule, const Json& values);

}  // namespace quorvel::rules
