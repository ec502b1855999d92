// Builds the cleanup request's header lines.
#include "engine/CleanupHeader.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <array>
#include <utility>

namespace quorvel {
namespace {

constexpr size_t kMaxNames = 24;

bool isWhitespaceOrNewline(UChar32 c) { return u_isUWhiteSpace(c); }

// The last `count` UTF-16 units of text, moved forward rather than starting in
// the middle of a surrogate pair.
std::string lastUnits(const std::string& text, int32_t count) {
  const icu::UnicodeString units = icu::UnicodeString::fromUTF8(text);
  if (units.length() <= count) {
    std::string out;
    return units.toUTF8String(out);
  }
  int32_t start = units.length() - count;
  if (U16_IS_TRAIL(units.charAt(start)) && start > 0 && U16_IS_LEAD(units.charAt(start - 1))) {
    ++start;
  }
  std::string out;
  return units.tempSubString(start).toUTF8String(out);
}

// The first `count` UTF-16 units, shortened rather than ending inside a pair.
std::string firstUnits(const icu::UnicodeString& units, int32_t count) {
  int32_t end = std::min(count, units.length());
  if (end > 0 && end < units.length() && U16_IS_LEAD(units.charAt(end - 1)) &&
      U16_IS_TRAIL(units.charAt(end))) {
    --end;
  }
  std::string out;
  return units.tempSubString(0, end).toUTF8String(out);
}

bool blank(const std::string& text) {
  const icu::UnicodeString units = icu::UnicodeString::fromUTF8(text);
  for (int32_t i = 0; i < units.length();) {
    const UChar32 c = units.char32At(i);
    if (!isWhitespaceOrNewline(c)) return false;
    i += U16_LENGTH(c);
  }
  return true;
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
  icu::UnicodeString app = icu::UnicodeString::fromUTF8(context.app.value_or(""));
  app.toLower(icu::Locale::getRoot());
  std::string lowered;
  app.toUTF8String(lowered);
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
    lines.push_back("Before the cursor: \"" + lastUnits(*before, version >= 3 ? 300 : 200) + "\"");
  }
  if (version >= 3 && after) {
    const icu::UnicodeString words = collapsed(*after);
    if (!words.isEmpty()) lines.push_back("After the cursor: \"" + firstUnits(words, 100) + "\"");
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
