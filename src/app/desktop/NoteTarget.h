// The Brainstorm note as the recording control sees it: whether it has the
// focus (a dictation then goes into the note), its session (a dictation that
// arrives after the note was cleared or reopened is dropped), and the calls
// that open, close and fill it.
//
// Threading: main thread only.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

class NoteTarget {
 public:
  virtual ~NoteTarget() = default;
  virtual bool isFocused() const = 0;
  virtual bool isOpen() const = 0;
  // Changes whenever the note is cleared or opened afresh.
  virtual std::uint64_t session() const = 0;
  virtual void setListening(bool listening) = 0;
  // Remembers the application the user came from, for "Insert".
  virtual void captureSource() = 0;
  virtual void show() = 0;
  virtual void close() = 0;
  // Adds a dictation at the note's cursor, fitted to the text around it.
  virtual void insert(const std::string& text) = 0;
};

}  // namespace quorvel
