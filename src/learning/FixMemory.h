// What the correction finder remembers of one watched dictation between two
// looks at the field, so a correction the user is still typing settles before
// it counts, and one the user undoes is forgotten. The JSON form lets the
// rules tool replay a series of looks.
//
// A Memory belongs to its caller; it is plain data and has no thread of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Json.h"
#include "text/LearnedFix.h"

namespace quorvel::FixFinder {

// The corrections of one watched dictation as they settle. A fix whose meant
// word ends at the cursor is pending (the user may still be typing it); it is
// finished once the cursor has left it, and leaves again when the misheard
// words reappear (the correction was undone).
struct Memory {
  std::vector<Fix> finished;
  std::vector<Fix> pending;
  std::optional<std::string> lastBefore;  // last 300 UTF-16 units before the cursor
  std::optional<std::string> lastAfter;   // first 100 UTF-16 units after it

  bool operator==(const Memory&) const = default;

  // One look at the field: `fixes` just found, the text before and after the
  // cursor. Returns the new fixes followed by the settled ones they do not
  // supersede.
  std::vector<Fix> look(const std::vector<Fix>& fixes, std::string_view before, std::string_view after);

 private:
  void remember(const Fix& fix);
};

Json toJson(const Memory& memory);
std::optional<Memory> memoryFromJson(const Json& value);

}  // namespace quorvel::FixFinder
