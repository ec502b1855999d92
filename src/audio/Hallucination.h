// Recognises the stock phrases a speech model writes for silence or noise.
#pragma once

#include <string_view>

namespace quorvel {

// Whether the text, lower-cased and with white space, line breaks and
// punctuation trimmed from both ends, is empty or one of "you", "thank you",
// "thanks", "thanks for watching", "thank you for watching", "bye".
// Invalid UTF-8 is read as U+FFFD (which is neither trimmed nor listed).
bool isSilenceHallucination(std::string_view text);

}  // namespace quorvel
