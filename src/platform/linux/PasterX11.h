// Typing by paste on X11. A worker thread with its own X connection and a
// hidden, never-mapped window owns the CLIPBOARD selection:
//   paste(text): save every type the clipboard offers (not TARGETS, MULTIPLE,
//     TIMESTAMP, SAVE_TARGETS), offer the text with the marker types that
//     tell clipboard managers to skip it, send Ctrl+V (Ctrl+Shift+V in
//     terminals) through XTEST with the key code that gives "v" in the
//     current layout, releasing a held right Alt first; 0.7 s later, once the
//     application has fetched the text, offer the saved types again.
//   copy(text): offer the text alone, nothing restored.
// Two pastes within the restore time keep the first saved clipboard, so the
// user gets their own contents back, never a dictation. If the user copies
// something before the restore, their new copy wins and nothing is restored.
// A clipboard owner that never answers costs a bounded wait, never a hang.
//
// Threading: paste() and copy() return at once (main thread); the work runs
// on the worker, which serves the selection for the object's lifetime.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/desktop/Paster.h"

namespace quorvel {

class PasterX11 : public Paster {
 public:
  struct Settings {
    std::chrono::milliseconds restoreAfter{static_cast<int>(clipboardRestoreSeconds * 1000)};
    // How long the restore may wait further for the application to fetch
    // the pasted text (a slow application must not paste the old clipboard).
    std::chrono::milliseconds fetchGrace{2000};
    std::chrono::milliseconds ownerAnswer{400};  // one request to the clipboard's owner
    std::chrono::milliseconds saveBudget{1500};  // saving the whole clipboard
    std::size_t maxSavedBytes = 64u << 20;       // larger clipboards are not kept whole
    // Whether the user holds right Alt as the chord begins (the key source
    // knows); without it a released right Alt is never pressed again.
    std::function<bool()> userHoldsRightAlt;
    // Told just before the chord sends its own right Alt release or press,
    // so the key source can tell them from the user's.
    std::function<void(bool down)> beforeOwnRightAlt;
    // How the paste chord reaches the focused window, called on the paster's
    // thread once the text is on the clipboard. Empty: XTEST on the paster's
    // own connection (an X11 session). A Wayland session sends it through a
    // virtual keyboard, since XTEST reaches only X windows; then the X server
    // needs no XTEST. False: the chord could not be sent (logged).
    std::function<bool(PasteChord)> sendChord;
    // When the clipboard can't be taken, called on the paster's thread with
    // the text: another way to get it there (typing it). Empty: the failure
    // is logged and the text stays with the caller's "Copy Last Dictation".
    std::function<void(const std::string& text, PasteChord)> clipboardRefused;
  };

  PasterX11();
  explicit PasterX11(Settings settings);
  ~PasterX11() override;
  PasterX11(const PasterX11&) = delete;
  PasterX11& operator=(const PasterX11&) = delete;

  // False only when there is no X display or no XTEST (problem() says which),
  // or the connection was lost.
  bool paste(const std::string& text, PasteChord chord) override;
  bool copy(const std::string& text) override;

  std::string problem() const override;
  // Told when the clipboard could not be taken for a paste (and no
  // clipboardRefused hook took the text another way).
  void onLateFailure(std::function<void()> handler) override;
  // Waits until every request so far is done and no restore is pending
  // (tests); false after the limit.
  bool waitUntilIdle(std::chrono::milliseconds limit);

 private:
  struct Worker;
  std::unique_ptr<Worker> worker_;
};

}  // namespace quorvel
