// Random (version 4) UUIDs from the kernel's CSPRNG.
#pragma once

#include <string>

namespace quorvel {

// "8F14E45F-CEEA-467F-A8B4-3E8F1C6A2B9D": upper-case hexadecimal with hyphens.
std::string randomUuid();

}  // namespace quorvel
