// Builds the cleanup request's header lines.
#include "engine/CleanupHeader.h"

#include "text/Unicode.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <array>
#include <utility>

namespace quorvel {
namespace {

constexpr size_t kMaxNames = 24;

bool isWhitespaceOrNewline(UChar32 c) { return u_isUWhiteSpace(c); }

bool blank(const std::string& text) {
  return unicode::trimWhitespaceAndLineBreaks(unicode::fromUtf8(text)).isEmpty();
}

// The words of text (split at whitespace and line breaks) joined by single spaces.
icu::UnicodeString collapsed(const std::string& text) {
  const icu::UnicodeString units = icu::UnicodeString::fromUTF8(text);
  icu::UnicodeString result;
  bool pendingSpace = false;
  for (int32_t i = 0; i < units.length();) {
    const UChar32 c = units.char32At(i);
    i += U16_LENGTH(c);
    if (isWhitespaceOrNewline(c)) {
      pendingSpace = !result.isEmpty();
      continue;
    }
    if (pendingSpace) result.append(u' ');
    pendingSpace = false;
    result.append(c);
  }
  return result;
}

// Applications by what their identifier contains; the first list that matches wins.
const std::array<std::pair<const char*, std::array<const char*, 9>>, 3> kFieldsByApp = {{
    {"email", {"mail", "outlook", "spark"}},
    {"chat message",
     {"messages", "slack", "discord", "whatsapp", "telegram", "teams", "signal", "imessage"}},
    {"notes",
     {"notes", "textedit", "pages", "word", "obsidian", "notion", "bear", "craft", "ulysses"}},
}};

}  // namespace

std::string fieldName(const CursorContext& context) {
  if (context.kind == CursorContext::Kind::search) return "search box";
  if (context.kind == CursorContext::Kind::singleLine) return "single line";
  const std::string lowered =
      unicode::toUtf8(unicode::lowercased(unicode::fromUtf8(context.app.value_or(""))));
  for (const auto& [answer, fragments] : kFieldsByApp) {
    for (const char* fragment : fragments) {
      if (fragment != nullptr && lowered.find(fragment) != std::string::npos) return answer;
    }
  }
  return "text";
}

std::string cleanupHeader(const std::vector<std::string>& names,
                          const std::optional<std::string>& before,
                          const std::optional<std::string>& after,
                          const std::optional<std::string>& field, int version) {
  std::vector<std::string> lines;
  if (!names.empty()) {
    std::string line = "Names: ";
    for (size_t i = 0; i < names.size() && i < kMaxNames; ++i) {
      if (i > 0) line += ", ";
      line += names[i];
    }
    lines.push_back(std::move(line));
  }
  if (before && !blank(*before)) {
    const auto window = unicode::suffixOfAtMost(unicode::fromUtf8(*before), version >= 3 ? 300 : 200);
    lines.push_back("Before the cursor: \"" + unicode::toUtf8(window) + "\"");
  }
  if (version >= 3 && after) {
    const icu::UnicodeString words = collapsed(*after);
    if (!words.isEmpty()) {
      lines.push_back("After the cursor: \"" + unicode::toUtf8(unicode::prefixOfAtMost(words, 100)) +
                      "\"");
    }
  }
  if (field) lines.push_back("Field: " + *field);
  if (lines.empty()) return "";
  std::string header;
  for (const auto& line : lines) {
    if (!header.empty()) header += "\n";
    header += line;
  }
  return header + "\nDictation: ";
}

}  // namespace quorvel
