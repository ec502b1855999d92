// The keys the user dictates with and opens the note with: the choices the
// settings page offers, their names in the windows' texts, and the stored
// choice ("dictationKey", "noteKey": key codes in the user defaults) with the
// first launch's pick. Plain rules; the keyboard layout's answer ("is this key
// AltGr?") is handed in.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/desktop/KeySource.h"

namespace quorvel {

class UserDefaults;

// Shorter than this, a press of the dictation key is a tap.
inline constexpr double kHandsFreeTapSeconds = 0.3;
// On a layout where the dictation key is AltGr, the start sound and the tag
// wait this long: a character typed with AltGr cancels the recording first.
inline constexpr double kAltGrGraceSeconds = 0.15;

// The keys offered by name; "a key I press" adds any other.
struct KeyChoice {
  int code;
  const char* name;
};
const std::vector<KeyChoice>& keyChoices();

// "right Alt", "Menu", "F9", "mouse back button", or "key 183" for a key
// without a name here.
std::string keyName(int code);

// A code a key source can report (mouse side buttons included).
bool isChoosableKey(int code);

// The stored binding: each part's stored code when it is a choosable key,
// else its default; a note key equal to the dictation key falls back to
// right Super (Menu when dictation took right Super).
KeyBinding storedBinding(const UserDefaults& defaults);

// The first launch: with no key stored yet, stores right Alt, or right Ctrl
// when right Alt is AltGr in the current layout (and remembers why). Answers
// whether it chose anything.
bool pickFirstDictationKey(UserDefaults& defaults, bool rightAltIsAltGr);

// Stores a new choice for one part, keeping the two keys apart. False (and
// nothing stored) when the code is not a choosable key or is the other
// part's key.
bool storeKey(UserDefaults& defaults, ShellKey part, int code);

// What onboarding says when the first launch took right Ctrl because right Alt
// is AltGr, while that choice stands; "" otherwise.
std::string altGrChoiceNote(const UserDefaults& defaults);

// The chosen keys' names, read from the user defaults ("right Alt" by default).
std::string dictationKeyName();
std::string noteKeyName();

}  // namespace quorvel
