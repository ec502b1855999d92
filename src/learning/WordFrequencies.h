// How common a word is: the Zipf values of a word-frequency list (higher is
// commoner), which the correction finder uses to tell a misheard name from an
// ordinary word.
//
// A table is read once and then only read: share it between threads freely.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace quorvel::FixFinder {

// The Zipf frequency of a lower-case word, or nothing when it is not listed.
using Frequency = std::function<std::optional<float>(const std::string& lowerWord)>;
using FrequencyTable = std::unordered_map<std::string, float>;

// The frequency list at `file` ("word<TAB>zipf" lines; lines without a tab or
// with an unreadable number are skipped; a later line for a word wins). An
// unreadable file gives an empty table.
FrequencyTable loadFrequencies(const std::filesystem::path& file);
// A frequency function reading a shared table.
Frequency frequencyFrom(std::shared_ptr<const FrequencyTable> table);

}  // namespace quorvel::FixFinder
