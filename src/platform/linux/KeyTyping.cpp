// The key events that type a text in a given layout.
#include "platform/linux/KeyTyping.h"

#include "support/Utf8.h"

namespace quorvel {

void pressKey(std::vector<input_event>& events, unsigned short code, bool down) {
  input_event key{};
  key.type = EV_KEY;
  key.code = code;
  key.value = down ? 1 : 0;
  input_event report{};
  report.type = EV_SYN;
  report.code = SYN_REPORT;
  events.push_back(key);
  events.push_back(report);
}

namespace {

// The code points of valid UTF-8 (broken bytes were repaired to U+FFFD).
std::u32string codePoints(std::string_view utf8) {
  const std::string text = repairUtf8(utf8);
  std::u32string points;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t point = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    for (size_t k = 1; k < length && i + k < text.size(); ++k) {
      point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    points.push_back(point);
    i += length;
  }
  return points;
}

void appendUtf8(std::string& out, char32_t point) {
  if (point < 0x80) {
    out.push_back(static_cast<char>(point));
  } else if (point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (point >> 6)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else if (point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  }
}

}  // namespace

unsigned short KeyLayout::vKey() const {
  const auto found = keys.find(U'v');
  if (found != keys.end() && !found->second.shift && !found->second.altGr) return found->second.code;
  return KEY_V;
}

TypingPlan planTyping(std::string_view utf8, const KeyLayout& layout, bool forTerminal) {
  TypingPlan plan;
  const auto refuse = [&plan](char32_t point) {
    if (plan.untypeable.find(point) == std::u32string::npos) plan.untypeable.push_back(point);
  };
  const std::u32string points = codePoints(utf8);
  for (size_t i = 0; i < points.size(); ++i) {
    const char32_t point = points[i];
    KeyStroke stroke;
    if (point == U'\r' && i + 1 < points.size() && points[i + 1] == U'\n') continue;  // one Enter for CR LF
    if (point == U'\n' || point == U'\r') {
      if (forTerminal) {
        refuse(U'\n');
        continue;
      }
      stroke.code = KEY_ENTER;
    } else if (point == U'\t') {
      stroke.code = KEY_TAB;
    } else if (const auto found = layout.keys.find(point); found != layout.keys.end()) {
      stroke = found->second;
    } else {
      refuse(point);
      continue;
    }
    std::vector<input_event> group;
    if (stroke.shift) pressKey(group, KEY_LEFTSHIFT, true);
    if (stroke.altGr) pressKey(group, layout.altGrKey, true);
    pressKey(group, stroke.code, true);
    pressKey(group, stroke.code, false);
    if (stroke.altGr) pressKey(group, layout.altGrKey, false);
    if (stroke.shift) pressKey(group, KEY_LEFTSHIFT, false);
    plan.keys.push_back(std::move(group));
  }
  if (!plan.typeable()) plan.keys.clear();  // all or nothing: never half a dictation
  return plan;
}

std::string describeCharacters(const std::u32string& characters) {
  std::string out;
  for (const char32_t point : characters) {
    if (!out.empty()) out += ", ";
    if (point == U'\n') {
      out += "line break";
    } else if (point < 0x20 || point == 0x7F) {
      out += "control character";
    } else {
      appendUtf8(out, point);
    }
  }
  return out;
}

}  // namespace quorvel
