// The user's keyboard layout as a KeyLayout, read with xkbcommon: from the X
// server when there is one (under Wayland, XWayland follows the compositor's
// keymap and its active group), else from the XKB_DEFAULT_* variables, else
// the US layout. Only the first two levels and AltGr's third and fourth are
// used; dead keys, compose sequences and the keypad are left out.
#pragma once

#include <string>

#include "platform/linux/KeyTyping.h"

struct xkb_keymap;

namespace quorvel {

// The layout at index group of a compiled keymap.
KeyLayout layoutFromKeymap(xkb_keymap* keymap, unsigned group);

// A layout by name ("us", "de"; variant may be empty), or an empty layout
// when xkbcommon does not know it (tests).
KeyLayout layoutNamed(const std::string& layout, const std::string& variant = {});

// The layout in use now. `source` says where it came from, for the log.
KeyLayout currentKeyLayout(std::string& source);

// Whether the key (an evdev code) selects the third level (ISO_Level3_Shift,
// "AltGr") in a keymap's layout at index group.
bool isLevelThreeShift(xkb_keymap* keymap, unsigned group, int evdevCode);
// The same in the layout in use now (reads the keymap afresh: a few
// milliseconds, so not on every key event).
bool keyIsAltGrNow(int evdevCode);
// The same in a layout by name ("de", "us"), for tests.
bool keyIsAltGrIn(const std::string& layout, const std::string& variant, int evdevCode);

}  // namespace quorvel
