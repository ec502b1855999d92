// The accessibility interface as the cursor-context reader sees it: the
// focused element's role, selection, character count and text. The Linux
// adapter (AT-SPI) and the tests' fake implement it. Offsets and lengths are
// UTF-16 code units; an adapter whose toolkit counts otherwise converts.
//
// What every adapter promises:
// - Threading: one thread, the main thread, for the desktop and every element
//   it gave (work elsewhere that needs the text around the cursor posts to
//   the main loop and waits, bounded).
// - Blocking: every question to another process is bounded by a short
//   timeout (about a second at most); an element whose application did not
//   answer once answers "nothing" at once from then on.
// - Failure: an answer the application can't give is nothing (or
//   SelectedRangeAnswer's status), never an exception or a crash. A password
//   field says so through its subrole, and the reader reads nothing of it.
// - Ownership: the caller owns each element it is given (unique_ptr); an
//   element holds its own reference to the object and may outlive the
//   desktop's focus moving on.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// What the focused element is, as far as the cursor-context rules care. The
// adapter maps its toolkit's roles onto these (AT-SPI: an entry or a one-line
// text is a textField, a multi-line text a textArea).
enum class ElementRole {
  textField,  // one line of text
  textArea,   // several lines of text
  comboBox,   // a text field with a list
  terminal,   // a terminal's screen
  other,      // anything else: a button, a web area, a canvas…
};

enum class ElementSubrole {
  none,
  searchField,      // a text field for a search
  secureTextField,  // a password field: nothing is ever read from it
};

// The case name ("textField", "searchField"; "" for no subrole).
constexpr std::string_view elementRoleName(ElementRole role) {
  switch (role) {
    case ElementRole::textField: return "textField";
    case ElementRole::textArea: return "textArea";
    case ElementRole::comboBox: return "comboBox";
    case ElementRole::terminal: return "terminal";
    case ElementRole::other: return "other";
  }
  return "other";
}
constexpr std::string_view elementSubroleName(ElementSubrole subrole) {
  switch (subrole) {
    case ElementSubrole::none: return "";
    case ElementSubrole::searchField: return "searchField";
    case ElementSubrole::secureTextField: return "secureTextField";
  }
  return "";
}

struct TextRange {
  std::int64_t location = 0;
  std::int64_t length = 0;
};

// What asking for the selected range gave.
struct SelectedRangeAnswer {
  enum class Status {
    missing,     // the element has no selection-range attribute
    notAValue,   // the attribute is there but of the wrong kind altogether
    notARange,   // a value, but not a range (or it could not be unpacked)
    range,       // a usable range
  };
  Status status = Status::missing;
  TextRange range;
};

class AccessibleElement {
 public:
  virtual ~AccessibleElement() = default;
  virtual ElementRole role() = 0;
  virtual ElementSubrole subrole() = 0;
  // The toolkit's own name for the role ("text", "push button"), for the
  // messages that say what the focus is on; the case name when it has none.
  virtual std::string roleName() { return std::string(elementRoleName(role())); }
  virtual SelectedRangeAnswer selectedRange() = 0;
  virtual std::optional<std::int64_t> numberOfCharacters() = 0;
  // The text of a range, or nothing when the element can't give it.
  virtual std::optional<std::u16string> stringForRange(TextRange range) = 0;
  // The element's whole value when it is text.
  virtual std::optional<std::u16string> value() = 0;
};

struct FocusedElementAnswer {
  int errorCode = 0;  // 0: the call succeeded (possibly without an element)
  std::unique_ptr<AccessibleElement> element;
};

// The application in front: its identifier (a desktop id such as
// "org.gnome.TextEditor", else its window class) and its process.
struct FrontmostApp {
  std::string id;
  pid_t pid = 0;  // 0 when unknown
};

// The desktop around the focused element.
class AccessibilityDesktop {
 public:
  virtual ~AccessibilityDesktop() = default;
  // Whether the focused field can be read at all (on Linux: the accessibility
  // bus answers and accessibility is switched on).
  virtual bool isTrusted() = 0;
  virtual FocusedElementAnswer focusedElement() = 0;
  // The frontmost application's identifier, when there is one.
  virtual std::optional<std::string> frontmostApp() = 0;
  // The frontmost application with its process, when there is one.
  virtual std::optional<FrontmostApp> frontmostApplication() {
    auto id = frontmostApp();
    if (!id) return std::nullopt;
    return FrontmostApp{*id, 0};
  }
  // Asks the desktop to switch accessibility on (the user's choice, never
  // behind their back); answers whether it is on afterwards.
  virtual bool enableAccessibility() { return isTrusted(); }
};

}  // namespace quorvel
