// A text as one word for a POSIX shell, for the commands Quorvel shows the
// user or runs through /bin/sh: single quotes, each ' inside written '\''.
#pragma once

#include <string>

namespace quorvel {

std::string shellQuoted(const std::string& text);

}  // namespace quorvel
