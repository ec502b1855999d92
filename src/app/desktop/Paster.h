// Typing by paste: the text goes on the clipboard with marker types that tell
// clipboard managers to skip it, a paste key chord goes to the focused window,
// and the user's own clipboard comes back 0.7 s later. copy() is the plain
// "Copy Last Dictation": the text alone, nothing restored.
//
// Threading: main thread only. paste() returns at once; the restore runs later
// on the main thread. Two pastes within the restore time give back the
// clipboard the user had before the first of them, never a dictation.
#pragma once

#include <functional>
#include <string>

namespace quorvel {

enum class PasteChord {
  ctrlV,       // ordinary applications
  ctrlShiftV,  // terminals, where Ctrl+V means something else
};

class Paster {
 public:
  virtual ~Paster() = default;
  // False when the text could not be typed at all (no clipboard, no way to
  // send keys); the caller keeps the text for "Copy Last Dictation".
  virtual bool paste(const std::string& text, PasteChord chord) = 0;
  virtual bool copy(const std::string& text) = 0;
  // Whether typing is impossible until the user grants a permission (on
  // Wayland: writing /dev/uinput for the virtual keyboard).
  virtual bool needsPermission() const { return false; }
  // Why typing can't work, in words for a log line, or "".
  virtual std::string problem() const { return {}; }
  // Called, on any thread, when a text that paste() accepted could not be
  // typed after all (the owner tells the user; the text stays with it).
  virtual void onLateFailure(std::function<void()> handler) { (void)handler; }
};

// The pause before the user's clipboard is put back.
inline constexpr double clipboardRestoreSeconds = 0.7;

}  // namespace quorvel
