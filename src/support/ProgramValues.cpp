// Storage of the program-wide values.
#include "support/ProgramValues.h"

namespace quorvel {
namespace {
std::vector<std::string>& argumentStorage() {
  static std::vector<std::string> arguments;
  return arguments;
}
}  // namespace

std::mutex& spellLock() {
  static std::mutex lock;
  return lock;
}

std::atomic<bool>& trimPieceEdges() {
  static std::atomic<bool> on{true};
  return on;
}

const std::vector<std::string>& programArguments() { return argumentStorage(); }

void setProgramArguments(std::vector<std::string> arguments) {
  argumentStorage() = std::move(arguments);
}

}  // namespace quorvel
