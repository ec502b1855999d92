// The Brainstorm note's window: a frameless floating panel with the note's
// header, a plain-text editor with undo, and the footer's actions. It only
// draws the note's state and forwards keys and clicks to BrainstormNote.
//
// Keys: Escape closes and clears; Ctrl+Return inserts into the source
// application; Ctrl+Shift+C copies and closes; Ctrl+Z undoes.
//
// Threading: main thread only.
#pragma once

#include <memory>

#include "app/note/BrainstormNote.h"
#include "app/note/NoteWindow.h"

class QWidget;

namespace quorvel::ui {

class NoteWidget;

class NotePanel final : public NoteWindow {
 public:
  explicit NotePanel(BrainstormNote& note);
  ~NotePanel() override;

  void present() override;
  void hide() override;
  bool isVisible() const override;
  bool hasKeyboardFocus() const override;
  std::u16string editorText() const override;
  NoteRange selection() const override;
  void replace(NoteRange range, const std::string& text) override;
  bool canUndo() const override;
  void undo() override;
  void refresh() override;

  QWidget* widget() const;
  // Pictures are drawn without storing the panel's place in the settings.
  void setRemembersPlace(bool remembers);

 private:
  std::unique_ptr<NoteWidget> widget_;
};

// The factory BrainstormNote makes its window with.
BrainstormNote::WindowFactory notePanelFactory();

// The note's default size and its smallest.
inline constexpr int kNoteWidth = 560;
inline constexpr int kNoteHeight = 400;

}  // namespace quorvel::ui
