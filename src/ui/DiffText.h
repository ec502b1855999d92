// The word diff as rich text for a label: the said words joined by spaces,
// the struck ones in the accent colour at 80 % with a line through them.
#pragma once

#include <QString>
#include <string_view>

namespace quorvel::ui {

// `raw` is what was said (or the typed text when nothing raw was kept).
QString diffText(std::string_view raw, std::string_view typed);

// Plain text escaped for a rich-text label, line breaks kept.
QString escapedText(std::string_view text);

}  // namespace quorvel::ui
