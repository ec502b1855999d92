// Reads requests, checks them against the registry, calls the rule and writes
// the answer; every failure becomes an error line.
#include "Console.h"

#include <exception>
#include <istream>
#include <ostream>

#include "RuleRegistry.h"
#include "VocabularyRules.h"
#include "support/Json.h"

namespace quorvel::rules {
namespace {

Json errorAnswer(const std::string& message) { return {{"error", message}}; }

bool isBlank(std::string_view line) {
  return line.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos;
}

Json answer(std::string_view line) {
  if (isBlank(line)) return errorAnswer("empty line: expected {\"fn\": NAME, \"args\": [...]}");
  const std::optional<Json> request = parseJson(line);
  if (!request) return errorAnswer("not JSON: expected {\"fn\": NAME, \"args\": [...]}");
  if (!request->is_object()) return errorAnswer("expected an object {\"fn\": NAME, \"args\": [...]}");

  // The vocabulary functions take whole requests (word sets, fixes, operations).
  if (auto vocabulary = rules::answerVocabularyRequest(*request)) return *vocabulary;

  const std::optional<std::string> name = stringMember(*request, "fn");
  if (!name) return errorAnswer("\"fn\" must be the name of a function, as a string");
  const Rule* rule = findRule(*name);
  if (rule == nullptr) return errorAnswer("unknown function: " + *name);

  // A function without parameters may be called without "args".
  const auto given = request->find("args");
  const Json args = given == request->end() ? Json::array() : *given;
  if (auto problem = argumentProblem(*rule, args)) return errorAnswer(*problem);

  return {{"result", rule->call(Args(args))}};
}

}  // namespace

std::string answerLine(std::string_view line) {
  try {
    return compactJson(answer(line));
  } catch (const std::exception& failure) {
    try {
      return compactJson(errorAnswer(failure.what()));
    } catch (...) {
    }
  } catch (...) {
  }
  return R"({"error":"internal error"})";
}

void runConsole(std::istream& in, std::ostream& out) {
  std::string line;
  while (std::getline(in, line)) {
    out << answerLine(line) << '\n' << std::flush;
  }
}

}  // namespace quorvel::rules
