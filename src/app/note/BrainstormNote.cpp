// The Brainstorm note's logic.
#include "app/note/BrainstormNote.h"

#include <unicode/utf16.h>

#include <algorithm>

#include "app/history/Stats.h"
#include "text/CursorContext.h"
#include "text/Fitting.h"
#include "text/Unicode.h"

namespace quorvel {
namespace {

std::string countLabel(std::int64_t words) {
  return words == 1 ? "1 word" : std::to_string(words) + " words";
}

std::string trimmedNote(const std::string& text) {
  return unicode::toUtf8(unicode::trimWhitespaceAndLineBreaks(unicode::fromUtf8(text)));
}

std::string utf8Of(const std::u16string& text, size_t from, size_t count) {
  const std::u16string_view part = std::u16string_view(text).substr(from, count);
  return unicode::toUtf8(icu::UnicodeString(false, part.data(), static_cast<int32_t>(part.size())));
}

}  // namespace

std::string addedWordsLabel(std::string_view dictation) { return "Added " + countLabel(wordsIn(dictation)); }

BrainstormNote::BrainstormNote(MainLoop& loop, Paster& paster, NoteDesktop& desktop, WindowFactory factory)
    : loop_(loop), paster_(paster), desktop_(desktop), factory_(std::move(factory)) {}

BrainstormNote::~BrainstormNote() {
  alive_.reset();
  window_.reset();
}

bool BrainstormNote::isOpen() const { return window_ && window_->isVisible(); }

bool BrainstormNote::isFocused() const { return isOpen() && window_->hasKeyboardFocus(); }

void BrainstormNote::setListening(bool listening) {
  if (listening_ == listening) return;
  listening_ = listening;
  changed();
}

void BrainstormNote::captureSource() {
  if (isOpen() || desktop_.frontmostIsSelf()) return;
  source_ = desktop_.frontmost();
  changed();
}

void BrainstormNote::ensureWindow() {
  if (!window_ && factory_) window_ = factory_(*this);
}

void BrainstormNote::show() {
  ensureWindow();
  if (window_) window_->present();
}

void BrainstormNote::close() {
  clear();
  hideAndAdvance();
}

void BrainstormNote::hideAndAdvance() {
  if (window_) window_->hide();
  listening_ = false;
  ++session_;
  changed();
}

void BrainstormNote::insert(const std::string& text) {
  show();
  lastAction_ = addedWordsLabel(text);
  if (!window_) {
    if (!text_.empty()) text_ += ' ';
    text_ += text;
    changed();
    return;
  }
  const std::u16string current = window_->editorText();
  NoteRange range = window_->selection();
  const auto size = static_cast<std::int64_t>(current.size());
  range.location = std::clamp<std::int64_t>(range.location, 0, size);
  range.length = std::clamp<std::int64_t>(range.length, 0, size - range.location);

  // Up to 200 characters before the selection, never starting inside a
  // surrogate pair; the one character after it (both halves of a pair).
  auto start = static_cast<size_t>(range.location);
  size_t from = start > 200 ? start - 200 : 0;
  if (from > 0 && from < current.size() && U16_IS_TRAIL(current[from])) ++from;
  const auto end = static_cast<size_t>(range.location + range.length);
  size_t afterLength = end < current.size() ? 1 : 0;
  if (afterLength == 1 && U16_IS_LEAD(current[end]) && end + 1 < current.size()) afterLength = 2;

  CursorContext context;
  context.before = utf8Of(current, from, start - from);
  context.after = utf8Of(current, end, afterLength);
  context.kind = CursorContext::Kind::multiLine;
  const std::string fitted = TextHelpers::fitToContext(text, context).text;
  window_->replace(range, fitted);
  refreshUndo();
  changed();
}

void BrainstormNote::clear() {
  if (window_ && !window_->editorText().empty()) {
    window_->replace({0, static_cast<std::int64_t>(window_->editorText().size())}, "");
  }
  text_.clear();
  refreshUndo();
  changed();
}

void BrainstormNote::undo() {
  if (window_) window_->undo();
  refreshUndo();
  changed();
}

void BrainstormNote::refreshUndo() { canUndo_ = window_ && window_->canUndo(); }

void BrainstormNote::copyAndClose() {
  const std::string trimmed = trimmedNote(text_);
  // A blank note leaves the user's clipboard as it was.
  if (!trimmed.empty()) paster_.copy(trimmed);
  clear();
  hideAndAdvance();
}

void BrainstormNote::insertIntoSource() {
  const std::string trimmed = trimmedNote(text_);
  if (trimmed.empty()) return;
  const std::optional<SourceApp> source = source_;
  clear();
  hideAndAdvance();
  if (source && !desktop_.isActive(*source)) desktop_.activate(*source);
  const PasteChord chord = source && isTerminalApp(source->id) ? PasteChord::ctrlShiftV : PasteChord::ctrlV;
  std::weak_ptr<bool> alive = alive_;
  loop_.after(Seconds(noteInsertDelaySeconds), [this, alive, trimmed, chord] {
    if (alive.lock()) paster_.paste(trimmed, chord);
  });
}

void BrainstormNote::editorChanged(std::string text) {
  text_ = std::move(text);
  refreshUndo();
  changed();
}

void BrainstormNote::setContent(const std::string& text, const std::string& lastAction,
                                std::optional<SourceApp> source) {
  lastAction_ = lastAction;
  source_ = std::move(source);
  if (window_) {
    window_->replace({0, static_cast<std::int64_t>(window_->editorText().size())}, text);
  }
  text_ = text;
  refreshUndo();
  changed();
}

std::string BrainstormNote::sourceName() const { return source_ ? source_->name : std::string(); }

std::string BrainstormNote::wordCountLabel() const { return countLabel(wordsIn(text_)); }

std::string BrainstormNote::insertTitle() const {
  return source_ && !source_->name.empty() ? "Insert in " + source_->name : std::string();
}

BrainstormNote::View BrainstormNote::view() const {
  View shown;
  shown.source = sourceName();
  shown.listening = listening_;
  shown.status = listening_ ? std::string("Listening") : lastAction_;
  shown.statusShown = !shown.status.empty();
  shown.empty = text_.empty();
  shown.wordCount = wordCountLabel();
  shown.undoShown = canUndo_;
  shown.insertTitle = insertTitle();
  return shown;
}

NoteCorner noteCorner(int areaX, int areaY, int areaWidth, int windowWidth, int inset) {
  return {areaX + areaWidth - inset - windowWidth, areaY + inset};
}

void BrainstormNote::changed() {
  if (window_) window_->refresh();
  if (onChange) onChange();
}

}  // namespace quorvel
