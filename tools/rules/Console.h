// The rules console's line protocol: one JSON request per line,
// {"fn": NAME, "args": [...]}, answered by one JSON line, {"result": ...} or
// {"error": "..."}. No request, however malformed, ends the session.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace quorvel::rules {

// The answer to one request line, as compact JSON without a line break.
// Never throws.
std::string answerLine(std::string_view line);

// Answers every line of `in` on `out`, flushing after each answer, until the
// end of `in`.
void runConsole(std::istream& in, std::ostream& out);

}  // namespace quorvel::rules
