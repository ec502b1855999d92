// Edit distance between two texts, ignoring case, for fuzzy name and word matching.
#include "text/EditDistance.h"
#include "text/NameText.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

#include <unicode/utf16.h>

#include <cstdint>
#include <vector>

namespace quorvel::TextHelpers {

int levenshtein(std::string_view a, std::string_view b) {
  const auto symbols = [](std::string_view text) {
    const std::vector<UChar32> points = nametext::codePoints(unicode::lowercased(unicode::fromUtf8(text)));
    return std::vector<std::uint32_t>(points.begin(), points.end());
  };
  return editDistance(symbols(a), symbols(b));
}

}  // namespace quorvel::TextHelpers
