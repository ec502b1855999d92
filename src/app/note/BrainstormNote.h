// The Brainstorm note: a floating scratch panel that collects several
// dictations for editing before they go anywhere. While it has the keyboard
// focus, dictations land at its cursor, fitted to the text around it; Insert
// puts the whole note back into the application the user came from, Copy puts
// it on the clipboard, and both clear and close it.
//
// Every close, copy or insert starts a new session; the recording control
// drops a dictation captured in an older session.
//
// Threading: main thread only. The window is made on the first show by the
// factory given (none: the note keeps its text without a window).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/core/MainLoop.h"
#include "app/desktop/NoteTarget.h"
#include "app/note/NoteWindow.h"
#include "app/desktop/Paster.h"

namespace quorvel {

class BrainstormNote final : public NoteTarget {
 public:
  using WindowFactory = std::function<std::unique_ptr<NoteWindow>(BrainstormNote&)>;

  // REQUIRES: loop, paster and desktop outlive the note.
  BrainstormNote(MainLoop& loop, Paster& paster, NoteDesktop& desktop, WindowFactory factory = {});
  ~BrainstormNote() override;
  BrainstormNote(const BrainstormNote&) = delete;
  BrainstormNote& operator=(const BrainstormNote&) = delete;

  // --- What the recording control uses ---------------------------------------
  bool isFocused() const override;
  bool isOpen() const override;
  std::uint64_t session() const override { return session_; }
  void setListening(bool listening) override;
  // Remembers the application in front, unless the note is open already or
  // Quorvel itself is in front.
  void captureSource() override;
  void show() override;
  // Clears the note and hides it; a new session begins.
  void close() override;
  // Adds a dictation at the cursor (replacing a selection), fitted to the
  // 200 characters before it and the one after it, as one undoable edit.
  void insert(const std::string& text) override;

  // --- The note's state, for its view ----------------------------------------
  const std::string& text() const { return text_; }
  bool listening() const { return listening_; }
  bool canUndo() const { return canUndo_; }
  const std::string& lastAction() const { return lastAction_; }
  const std::optional<SourceApp>& sourceApp() const { return source_; }
  // The source's display name, "" when there is none.
  std::string sourceName() const;
  // "1 word", "12 words".
  std::string wordCountLabel() const;
  // "Insert in Thunderbird"; "" when there is no source (Insert is not offered).
  std::string insertTitle() const;
  // Runs after every change of the state above.
  std::function<void()> onChange;

  // What the window shows of that state.
  struct View {
    std::string source;  // the source's name, shown when not empty
    // "Listening" in the recording colour while a dictation for the note
    // runs, else the last action ("Added 12 words"), shown when not empty.
    bool listening = false;
    std::string status;
    bool statusShown = false;
    bool empty = true;  // the placeholder shows; Clear is hidden, Copy and Insert disabled
    std::string wordCount;
    bool undoShown = false;
    std::string insertTitle;  // Insert is offered only with a source
  };
  View view() const;

  // --- Actions ----------------------------------------------------------------
  // Empties the note (undoably when the editor exists).
  void clear();
  void undo();
  void refreshUndo();
  // Puts the note, trimmed, on the clipboard; clears and closes it.
  void copyAndClose();
  // Brings back the source application and pastes the trimmed note there
  // 0.25 s later; clears and closes the note. An empty note does nothing.
  void insertIntoSource();

  // The editor's text changed (typing, undo, an insert).
  void editorChanged(std::string text);

  // For the snapshot pictures and tests: fixed content.
  void setContent(const std::string& text, const std::string& lastAction,
                  std::optional<SourceApp> source);

  NoteWindow* window() const { return window_.get(); }

 private:
  void ensureWindow();
  void hideAndAdvance();
  void changed();

  MainLoop& loop_;
  Paster& paster_;
  NoteDesktop& desktop_;
  WindowFactory factory_;
  std::unique_ptr<NoteWindow> window_;

  std::string text_;
  bool listening_ = false;
  bool canUndo_ = false;
  std::string lastAction_;
  std::optional<SourceApp> source_;
  std::uint64_t session_ = 0;
  // Lets the delayed paste find out that the note is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Where the note opens when it has no remembered place: its top right
// corner `inset` pixels inside the screen's usable area (x, y, width as the
// window system counts them).
struct NoteCorner {
  int x = 0;
  int y = 0;
  bool operator==(const NoteCorner&) const = default;
};
NoteCorner noteCorner(int areaX, int areaY, int areaWidth, int windowWidth, int inset);

// The pause between bringing the source back and pasting into it.
inline constexpr double noteInsertDelaySeconds = 0.25;

// "Added 1 word", "Added 12 words".
std::string addedWordsLabel(std::string_view dictation);

}  // namespace quorvel
