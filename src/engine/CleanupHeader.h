// The short header placed in front of a dictation in the cleanup request: the
// user's names, the text around the cursor and the kind of field, in the form
// the cleanup layer was trained with.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "text/CursorContext.h"

namespace quorvel {

// The kind of field in words, for the prompt: "search box", "single line",
// else by the application: "email", "chat message", "notes" or "text".
std::string fieldName(const CursorContext& context);

// Lines, each only when it applies: "Names: " (the first 24), "Before the
// cursor: \"…\"" (the last 200 characters, 300 from version 3), "After the
// cursor: \"…\"" (version 3 and above: the first 100 characters of the words
// after the cursor joined by single spaces), "Field: " (whenever a field is
// given, even an empty one). The lines are joined with line feeds and followed
// by "\nDictation: "; with no line the header is empty.
std::string cleanupHeader(const std::vector<std::string>& names,
                          const std::optional<std::string>& before,
                          const std::optional<std::string>& after,
                          const std::optional<std::string>& field, int version);

}  // namespace quorvel
