// The few program-wide values the entry point creates before anything else:
// the spell-checker lock, the edge-trimming switch and the argument list.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel {

// Serialises calls of the spell checker (Hunspell is not thread-safe).
std::mutex& spellLock();

// Whether recorded pieces get their quiet edges trimmed; starts true, cleared
// by "--no-trim" and by every live recording start.
std::atomic<bool>& trimPieceEdges();

// The process arguments, element 0 being the program path. Set once by main.
const std::vector<std::string>& programArguments();
void setProgramArguments(std::vector<std::string> arguments);

}  // namespace quorvel
