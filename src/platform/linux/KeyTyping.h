// Typing text key by key through a virtual keyboard, for when the clipboard
// can't carry it: which key (and Shift or AltGr) gives each character in the
// user's keyboard layout, and the evdev events that type a text. Plain logic:
// the layout comes from the keymap reader (KeyLayoutXkb.h) or a test.
#pragma once

#include <linux/input.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvel {

// One key going down or up, with the report that ends it.
void pressKey(std::vector<input_event>& events, unsigned short code, bool down);

// One key press that gives a character.
struct KeyStroke {
  unsigned short code = 0;  // evdev key code
  bool shift = false;
  bool altGr = false;  // the third level (ISO_Level3_Shift)
  bool operator==(const KeyStroke&) const = default;
};

struct KeyLayout {
  std::string name;                                // for log lines ("us", "de")
  std::unordered_map<char32_t, KeyStroke> keys;    // character → the simplest stroke
  unsigned short altGrKey = KEY_RIGHTALT;          // the key that selects the third level
  // The key that gives "v" without modifiers (for the paste chord); KEY_V when the
  // layout has none.
  unsigned short vKey() const;
};

// The events for a text, one group per character (the writer pauses between
// groups so slow applications keep up). Line feeds are Enter and tabs Tab,
// except that a text for a terminal never presses Enter (it would run
// whatever the line holds): there a line feed cannot be typed.
struct TypingPlan {
  std::vector<std::vector<input_event>> keys;
  std::u32string untypeable;  // characters the layout has no key for, each once
  bool typeable() const { return untypeable.empty(); }
};
TypingPlan planTyping(std::string_view utf8, const KeyLayout& layout, bool forTerminal);

// "€, ✓" — the untypeable characters for a log line.
std::string describeCharacters(const std::u32string& characters);

}  // namespace quorvel
