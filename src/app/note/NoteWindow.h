// The Brainstorm note's panel and editor as the note's logic sees them, and
// the desktop around it (which application the user came from, bringing it
// back). The Qt panel and the platform layer implement these; tests use fakes.
//
// Threading: main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// A range of the editor's text in UTF-16 code units.
struct NoteRange {
  std::int64_t location = 0;
  std::int64_t length = 0;
};

class NoteWindow {
 public:
  virtual ~NoteWindow() = default;
  // Brings the panel to the front with the keyboard focus; a hidden panel is
  // first placed (its remembered place, else the pointer's screen corner).
  virtual void present() = 0;
  virtual void hide() = 0;
  virtual bool isVisible() const = 0;
  // The panel has the keyboard focus.
  virtual bool hasKeyboardFocus() const = 0;

  // The editor's whole text and selection.
  virtual std::u16string editorText() const = 0;
  virtual NoteRange selection() const = 0;
  // Replaces a range as one undoable edit, leaves the cursor after the new
  // text and scrolls it into view. The editor then reports its new text
  // through BrainstormNote::editorChanged.
  virtual void replace(NoteRange range, const std::string& text) = 0;
  virtual bool canUndo() const = 0;
  virtual void undo() = 0;
  // The note's state changed (listening, last action, source): redraw.
  virtual void refresh() = 0;
};

// The application the note was opened from, for "Insert in …".
struct SourceApp {
  std::string id;            // identifier (a window class such as "thunderbird")
  std::string name;          // display name ("Thunderbird")
  std::uint64_t handle = 0;  // the platform's handle to bring it back (a window)

  bool operator==(const SourceApp&) const = default;
};

class NoteDesktop {
 public:
  virtual ~NoteDesktop() = default;
  // The application in front, or nothing when none is known.
  virtual std::optional<SourceApp> frontmost() = 0;
  // Quorvel itself is in front (its own windows are never a source).
  virtual bool frontmostIsSelf() = 0;
  virtual bool isActive(const SourceApp& app) = 0;
  virtual void activate(const SourceApp& app) = 0;
};

// A desktop that knows no applications: the note works, "Insert" is not offered.
class NoDesktop final : public NoteDesktop {
 public:
  std::optional<SourceApp> frontmost() override { return std::nullopt; }
  bool frontmostIsSelf() override { return false; }
  bool isActive(const SourceApp&) override { return false; }
  void activate(const SourceApp&) override {}
};

}  // namespace quorvel
