// Typing on a Wayland session. The text goes on the clipboard through the
// application's own X connection (XWayland hands it to the compositor), with
// the marker types and the restore 0.7 s later, exactly as on X11; the paste
// chord, Ctrl+V or Ctrl+Shift+V in terminals, goes through a virtual keyboard
// (uinput) into whatever window has the focus, native Wayland or XWayland.
// When the clipboard can't be used (no X connection, or the clipboard is
// refused), the text is typed key by key on the virtual keyboard instead, if
// the current layout can type every character. The log says which way each
// text went; text that can't be typed is a logged failure (never half typed)
// and stays in "Copy Last Dictation".
//
// A right Alt the user holds (the next dictation already under way) can't be
// released through a second keyboard, and the compositor would add it to the
// chord: the text waits until it is let go (bounded).
//
// Threading: paste(), copy() and the queries on the main thread. Each text
// goes in order through the paster's own thread, which waits for right Alt
// and then hands it to the clipboard or types it; keys are written there or
// on the clipboard's thread (the chord, or typing after a refusal), one
// writer at a time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/desktop/Paster.h"
#include "platform/linux/KeyTyping.h"
#include "platform/linux/PasterX11.h"
#include "platform/linux/UinputKeyboard.h"

namespace quorvel {

// How the clipboard side reaches the keyboard side; called on its thread.
struct ClipboardHooks {
  std::function<bool(PasteChord)> sendChord;
  std::function<void(const std::string& text, PasteChord)> refused;
};

class PasterWayland : public Paster {
 public:
  struct Parts {
    // The virtual keyboard, or nothing with problem set (tried again at the
    // next paste when it failed).
    std::function<std::unique_ptr<KeyEventSink>(DeviceProblem& problem)> makeKeyboard;
    // The keyboard layout in use, read before each typing; source names
    // where it came from.
    std::function<KeyLayout(std::string& source)> layout;
    // The clipboard side, wired to the hooks. Its paste() answering false
    // means there's no clipboard to use (no X display, connection lost).
    std::function<std::unique_ptr<Paster>(ClipboardHooks)> makeClipboard;
    // The pause between typed characters, so slow applications keep up.
    std::chrono::milliseconds keyPause{8};
    // Whether the user holds right Alt (the key source knows). A second
    // keyboard can't release it, and the compositor would add it to every
    // key sent, so sending waits until it is let go, at most rightAltWait.
    std::function<bool()> rightAltHeld;
    std::chrono::milliseconds rightAltWait{60000};
  };

  // The real thing: /dev/uinput, the layout through xkbcommon and PasterX11
  // with the given waits.
  static Parts systemParts(PasterX11::Settings clipboardSettings = {});

  explicit PasterWayland(Parts parts);
  ~PasterWayland() override;
  PasterWayland(const PasterWayland&) = delete;
  PasterWayland& operator=(const PasterWayland&) = delete;

  // False when there is no virtual keyboard (problem() says why) or the text
  // can't be typed and there is no clipboard; the caller keeps the text.
  bool paste(const std::string& text, PasteChord chord) override;
  bool copy(const std::string& text) override;
  bool needsPermission() const override;
  std::string problem() const override;
  void onLateFailure(std::function<void()> handler) override;

  // Waits until the typing thread has nothing left (tests).
  bool waitUntilIdle(std::chrono::milliseconds limit);

 private:
  struct Typing {
    std::string text;
    PasteChord chord;
  };
  KeyEventSink* keyboard() const;
  // Any thread; serialised by writeMutex_.
  bool sendChord(PasteChord chord);
  bool type(const std::string& text, PasteChord chord, const std::string& why);
  void failedLate();
  void waitForRightAltRelease();
  bool stopping();
  bool haveKeyboard();
  void typingLoop();

  Parts parts_;
  // The keyboard, once made, stays until the end; keys are written under
  // writeMutex_ alone, so the queries never wait for a long typing.
  mutable std::mutex keysMutex_;
  std::mutex writeMutex_;
  std::unique_ptr<KeyEventSink> keyboard_;  // set under keysMutex_
  DeviceProblem keyboardProblem_;           // guarded by keysMutex_
  std::function<void()> lateFailure_;       // guarded by keysMutex_

  std::mutex queueMutex_;
  std::condition_variable queueChanged_;
  std::deque<Typing> queue_;  // guarded by queueMutex_
  bool busy_ = false;         // guarded by queueMutex_
  bool stopping_ = false;     // guarded by queueMutex_
  std::thread typingThread_;

  std::unique_ptr<Paster> clipboard_;  // last: its thread stops first
};

}  // namespace quorvel
