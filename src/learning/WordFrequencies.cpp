// Reading the word-frequency list.
#include "learning/WordFrequencies.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "support/Files.h"
#include "text/NameText.h"

namespace quorvel::FixFinder {

FrequencyTable loadFrequencies(const std::filesystem::path& file) {
  FrequencyTable table;
  table.reserve(48000);
  const std::optional<std::string> content = readWholeFile(file);
  if (!content) return table;
  std::string_view rest(*content);
  while (!rest.empty()) {
    const size_t lineEnd = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, lineEnd);
    rest.remove_prefix(std::min(lineEnd + 1, rest.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    const std::string_view number = line.substr(tab + 1);
    float value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size() || !std::isfinite(value)) continue;
    table[nametext::lowerKey(line.substr(0, tab))] = value;
  }
  return table;
}

Frequency frequencyFrom(std::shared_ptr<const FrequencyTable> table) {
  return [table = std::move(table)](const std::string& word) -> std::optional<float> {
    if (!table) return std::nullopt;
    auto it = table->find(word);
    if (it == table->end()) return std::nullopt;
    return it->second;
  };
}

}  // namespace quorvel::FixFinder
