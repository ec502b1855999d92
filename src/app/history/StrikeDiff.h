// The word diff of what was said against what was typed: which spoken words
// the cleanup dropped or changed. Case and punctuation are no change ("um so
// the meeting is at three" against "The meeting is at three." strikes "um"
// and "so" only), and a word of punctuation alone is never struck.
//
// Pure functions, safe from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

struct StruckWord {
  std::string word;  // as it stands in the said text
  bool cut = false;  // dropped or changed by the cleanup

  bool operator==(const StruckWord&) const = default;
};

// One entry per word of `raw` (split at white space), in order. Words are
// compared lower-cased with everything but letters and numbers removed; the
// longest common sequence decides, and on a tie a typed word that was not said
// is passed over before a said word is struck. Above maxDiffCells comparisons
// (raw words × typed words) nothing is struck and no table is built, so a huge
// dictation costs no memory.
std::vector<StruckWord> strikeDiff(std::string_view raw, std::string_view typed);

inline constexpr long long maxDiffCells = 599'999;

// Whether any word of the diff is struck.
bool anyCut(const std::vector<StruckWord>& words);

// The said text a history entry is compared with: its raw transcript, or the
// typed text itself when no raw transcript was kept (nothing is struck then).
std::string_view saidText(std::string_view raw, std::string_view typed);

}  // namespace quorvel
