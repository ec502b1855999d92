// The accessibility interface as the cursor-context reader sees it: the
// focused element's role, selection, character count and text. The Linux
// adapter (AT-SPI) and the tests' fake implement it. Offsets and lengths are
// UTF-16 code units; an adapter whose toolkit counts otherwise converts.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quorvel {

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
  // Role and subrole names in the original platform's terms ("AXTextField",
  // "AXTextArea", "AXComboBox", "AXSearchField", "AXSecureTextField"); the
  // adapter maps its own roles onto them. Missing gives "".
  virtual std::string role() = 0;
  virtual std::string subrole() = 0;
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

// The desktop around the focused element.
class AccessibilityDesktop {
 public:
  virtual ~AccessibilityDesktop() = default;
  virtual bool isTrusted() = 0;
  virtual FocusedElementAnswer focusedElement() = 0;
  // The frontmost application's identifier, when there is one.
  virtual std::optional<std::string> frontmostApp() = 0;
};

}  // namespace quorvel
