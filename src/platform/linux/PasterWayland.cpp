// Paste through the clipboard and a virtual keyboard, or type key by key.
#include "platform/linux/PasterWayland.h"

#include "platform/linux/KeyLayoutXkb.h"
#include "support/Log.h"

namespace quorvel {

namespace {

constexpr const char* keptLine = "; it stays in Copy Last Dictation";

}  // namespace

PasterWayland::Parts PasterWayland::systemParts(PasterX11::Settings clipboardSettings) {
  Parts parts;
  parts.makeKeyboard = [](DeviceProblem& problem) -> std::unique_ptr<KeyEventSink> {
    return UinputKeyboard::create(problem);
  };
  parts.layout = [](std::string& source) { return currentKeyLayout(source); };
  parts.makeClipboard = [clipboardSettings](ClipboardHooks hooks) -> std::unique_ptr<Paster> {
    PasterX11::Settings settings = clipboardSettings;
    settings.sendChord = std::move(hooks.sendChord);
    settings.clipboardRefused = std::move(hooks.refused);
    auto clipboard = std::make_unique<PasterX11>(std::move(settings));
    if (!clipboard->problem().empty()) {
      logLine("Quorvel: no clipboard to paste through (" + clipboard->problem() +
              "); dictations will be typed key by key");
    }
    return clipboard;
  };
  return parts;
}

PasterWayland::PasterWayland(Parts parts) : parts_(std::move(parts)) {
  {
    std::scoped_lock lock(keysMutex_);
    // Made now, so the compositor has taken it in before the first paste.
    keyboard_ = parts_.makeKeyboard(keyboardProblem_);
    if (!keyboard_) logLine("Quorvel: cannot type into other windows: " + keyboardProblem_.text);
  }
  typingThread_ = std::thread([this] { typingLoop(); });
  ClipboardHooks hooks;
  hooks.sendChord = [this](PasteChord chord) { return sendChord(chord); };
  hooks.refused = [this](const std::string& text, PasteChord chord) {
    if (!type(text, chord, "the clipboard was refused")) failedLate();
  };
  clipboard_ = parts_.makeClipboard(std::move(hooks));
}

PasterWayland::~PasterWayland() {
  // Our thread first (it hands texts to the clipboard), then the clipboard's
  // (it may be typing through us, which still works until we are gone).
  {
    std::scoped_lock lock(queueMutex_);
    stopping_ = true;
  }
  queueChanged_.notify_all();
  typingThread_.join();
  clipboard_.reset();
}

bool PasterWayland::stopping() {
  std::scoped_lock lock(queueMutex_);
  return stopping_;
}

bool PasterWayland::haveKeyboard() {
  std::scoped_lock lock(keysMutex_);
  if (keyboard_) return true;
  // Permission may have come since (a udev rule reloaded): try again.
  keyboard_ = parts_.makeKeyboard(keyboardProblem_);
  if (keyboard_) logLine("Quorvel: the virtual keyboard works now");
  return keyboard_ != nullptr;
}

bool PasterWayland::paste(const std::string& text, PasteChord chord) {
  if (!haveKeyboard()) {
    logLine("Quorvel: could not type the dictation: " + problem() + keptLine);
    return false;
  }
  if (!clipboard_ || !clipboard_->problem().empty()) {
    // No clipboard at all: know now whether typing can work, so the caller
    // can tell the user at once.
    std::string source;
    const KeyLayout layout = parts_.layout(source);
    const TypingPlan plan = planTyping(text, layout, chord == PasteChord::ctrlShiftV);
    if (!plan.typeable()) {
      logLine("Quorvel: could not type the dictation: there is no clipboard and the keyboard layout (" +
              layout.name + ") has no key for " + describeCharacters(plan.untypeable) + keptLine);
      return false;
    }
  }
  {
    std::scoped_lock lock(queueMutex_);
    queue_.push_back({text, chord});
    busy_ = true;
  }
  queueChanged_.notify_all();
  return true;
}

bool PasterWayland::copy(const std::string& text) { return clipboard_ && clipboard_->copy(text); }

bool PasterWayland::needsPermission() const {
  std::scoped_lock lock(keysMutex_);
  // A missing node counts too: the same one-time step loads the module.
  return !keyboard_ && grantedByInputGroup(keyboardProblem_.error);
}

std::string PasterWayland::problem() const {
  std::scoped_lock lock(keysMutex_);
  return keyboard_ ? std::string() : keyboardProblem_.text;
}

void PasterWayland::onLateFailure(std::function<void()> handler) {
  std::scoped_lock lock(keysMutex_);
  lateFailure_ = std::move(handler);
}

void PasterWayland::failedLate() {
  std::function<void()> handler;
  {
    std::scoped_lock lock(keysMutex_);
    handler = lateFailure_;
  }
  if (handler) handler();
}

KeyEventSink* PasterWayland::keyboard() const {
  std::scoped_lock lock(keysMutex_);
  return keyboard_.get();
}

bool PasterWayland::sendChord(PasteChord chord) {
  std::string source;
  const unsigned short v = parts_.layout(source).vKey();
  KeyEventSink* keys = keyboard();
  std::scoped_lock lock(writeMutex_);
  if (keys == nullptr || !keys->write(pasteChordEvents(chord, v))) {
    logLine("Quorvel: could not send the paste keys on " + (keys ? keys->way() : std::string("the virtual keyboard")));
    return false;
  }
  logLine(std::string("Quorvel: pasted through the clipboard with ") +
          (chord == PasteChord::ctrlShiftV ? "Ctrl+Shift+V" : "Ctrl+V") + " on " + keys->way());
  return true;
}

bool PasterWayland::type(const std::string& text, PasteChord chord, const std::string& why) {
  std::string source;
  const KeyLayout layout = parts_.layout(source);
  const TypingPlan plan = planTyping(text, layout, chord == PasteChord::ctrlShiftV);
  if (!plan.typeable()) {
    logLine("Quorvel: could not type the dictation (" + why + "): the keyboard layout (" + layout.name +
            ") has no key for " + describeCharacters(plan.untypeable) + keptLine);
    return false;
  }
  KeyEventSink* keys = keyboard();
  logLine("Quorvel: typing the dictation key by key on " + (keys ? keys->way() : std::string("the virtual keyboard")) +
          " (" + why + "; layout " + layout.name + " from " + source + ")");
  std::scoped_lock lock(writeMutex_);
  for (size_t i = 0; i < plan.keys.size(); ++i) {
    if (stopping()) {
      logLine("Quorvel: stopped typing after " + std::to_string(i) + " characters as Quorvel quits" + keptLine);
      return false;
    }
    if (keys == nullptr || !keys->write(plan.keys[i])) {
      logLine("Quorvel: " + (keys ? keys->way() : std::string("the virtual keyboard")) + " stopped after " +
              std::to_string(i) + " characters" + keptLine);
      return false;
    }
    if (parts_.keyPause.count() > 0) std::this_thread::sleep_for(parts_.keyPause);
  }
  return true;
}

void PasterWayland::waitForRightAltRelease() {
  if (!parts_.rightAltHeld || !parts_.rightAltHeld()) return;
  logLine("Quorvel: waiting for right Alt to be let go before typing");
  const auto deadline = std::chrono::steady_clock::now() + parts_.rightAltWait;
  while (parts_.rightAltHeld() && std::chrono::steady_clock::now() < deadline) {
    if (stopping()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void PasterWayland::typingLoop() {
  std::unique_lock lock(queueMutex_);
  while (true) {
    queueChanged_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const Typing next = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    waitForRightAltRelease();
    if (clipboard_ && clipboard_->paste(next.text, next.chord)) {
      // The clipboard's thread sends the chord, or types after a refusal.
    } else if (!type(next.text, next.chord, "no clipboard")) {
      failedLate();
    }
    lock.lock();
    busy_ = !queue_.empty();
    if (!busy_) queueChanged_.notify_all();
  }
}

bool PasterWayland::waitUntilIdle(std::chrono::milliseconds limit) {
  std::unique_lock lock(queueMutex_);
  return queueChanged_.wait_for(lock, limit, [this] { return !busy_; });
}

}  // namespace quorvel
