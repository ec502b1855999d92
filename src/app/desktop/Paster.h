// Typing by paste: the text goes on the clipboard with marker types that tell
// clipboard managers to skip it, a paste key chord goes to the focused window,
// and the user's own clipboard comes back 0.7 s later. copy() is the plain
// "Copy Last Dictation": the text alone, nothing restored.
//
// What every adapter promises:
// - Threading: every call comes from the main thread. paste() and copy()
//   return at once, without waiting for the clipboard's owner or the target
//   window; the texts go, in the order given, through the paster's own
//   thread, and so does the restore. The clipboard is held and served on that
//   thread, which is the one that learns, in order, that another program took
//   it; the main thread never waits for a clipboard.
// - The restore never costs the user a clipboard: two pastes within the
//   restore time give back the clipboard the user had before the first of
//   them, never a dictation; a clipboard someone else took since the paste,
//   and a copy() since, stay as they are. An empty clipboard before the
//   paste leaves the dictation on it.
// - Failure: false when the text can't be typed at all (the caller keeps it);
//   true only means the text was accepted, and a text that fails afterwards
//   is reported through onLateFailure, never silently dropped.
// - Lifetime: the owner keeps the paster for the application's life; its
//   destructor stops the paster's thread (a pending restore is dropped) and
//   returns once the thread has ended.
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
  // Called on one of the paster's threads when a text that paste() accepted
  // could not be typed after all (the owner posts to its loop and tells the
  // user; the text stays with it).
  virtual void onLateFailure(std::function<void()> handler) { (void)handler; }
};

// The pause before the user's clipboard is put back.
inline constexpr double clipboardRestoreSeconds = 0.7;

}  // namespace quorvel
