// quorvel-rules: calls the text rules from a shell or a test. Each line of
// standard input is a request {"fn": NAME, "args": [...]}; each gets one line
// on standard output, {"result": ...} or {"error": "..."}. For example:
//
//   echo '{"fn": "fitText", "args": ["The end.", "Hello ", ""]}' | quorvel-rules
//   {"result":{"note":"lower","text":"the end."}}
#include <iostream>

#include "Console.h"

int main() {
  std::ios::sync_with_stdio(false);
  quorvel::rules::runConsole(std::cin, std::cout);
  return 0;
}
