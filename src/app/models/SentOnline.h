// The running total of bytes Quorvel sent to other machines, kept in the user
// defaults ("sentOnlineBytes") for the home page. Only bytes that really left
// for a non-loopback address are counted (the HTTP client measures them).
//
// Threading: any thread; the saves of one process never count a byte twice.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace quorvel::SentOnline {

// Adds what this process sent since its last save to the stored total.
void saveNew();
// The stored total plus what this process has not saved yet.
std::int64_t total();
// The total as the home page shows it: ("0", "bytes"), ("12.4", "KB"), ("3.1", "MB").
std::pair<std::string, std::string> readout(std::int64_t bytes);

}  // namespace quorvel::SentOnline
