// UTF-8 validation and repair: text from a server or a file may be broken, and
// a broken byte becomes U+FFFD rather than a failure.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

bool isValidUtf8(std::string_view text);

// text with every invalid sequence replaced by U+FFFD (one per maximal invalid
// subpart, as ICU and browsers do). Valid text comes back unchanged.
std::string repairUtf8(std::string_view text);

}  // namespace quorvel
