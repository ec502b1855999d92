// One accessible object reached through AT-SPI 2, seen as the cursor-context
// reader wants it: role, selection, character count and text in UTF-16 code
// units. Toolkits count offsets differently (GTK and other ATK toolkits in
// code points, Qt in UTF-16 units); the element converts, measuring the
// strings AT-SPI returns rather than guessing, and only near the cursor.
//
// Threading: the thread that uses the AtspiDesktop. A call that times out
// marks the element unresponsive: every later call answers "nothing" at once,
// so a hung application costs one timeout per read, not one per call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "learning/AccessibleElement.h"

typedef struct _AtspiAccessible AtspiAccessible;
typedef struct _AtspiText AtspiText;
typedef struct _GError GError;

namespace quorvel {

class AtspiElement : public AccessibleElement {
 public:
  // Takes a reference of its own on accessible.
  explicit AtspiElement(AtspiAccessible* accessible);
  ~AtspiElement() override;
  AtspiElement(const AtspiElement&) = delete;
  AtspiElement& operator=(const AtspiElement&) = delete;

  ElementRole role() override;
  ElementSubrole subrole() override;
  std::string roleName() override;
  SelectedRangeAnswer selectedRange() override;
  std::optional<std::int64_t> numberOfCharacters() override;
  std::optional<std::u16string> stringForRange(TextRange range) override;
  std::optional<std::u16string> value() override;

  bool unresponsive() const { return unresponsive_; }

 private:
  struct Anchor {
    int start = 0;              // selection start in the toolkit's units (the caret without one)
    int end = 0;                // selection end in the toolkit's units
    std::int64_t start16 = 0;   // the same two places in UTF-16 units
    std::int64_t end16 = 0;
  };

  void readRole();
  bool readAnchor();
  std::optional<int> characterCount();
  // The text between two toolkit offsets, as UTF-16; nothing on failure.
  std::optional<std::u16string> fetch(int start, int end);
  // Records a failed call; a time-out makes the element unresponsive.
  void failed(GError* error);

  AtspiAccessible* accessible_ = nullptr;
  AtspiText* text_ = nullptr;  // null when the object has no text
  bool unresponsive_ = false;
  bool roleRead_ = false;
  ElementRole role_ = ElementRole::other;
  ElementSubrole subrole_ = ElementSubrole::none;
  std::string roleName_;
  bool utf16Offsets_ = false;  // the toolkit counts UTF-16 units itself
  std::optional<Anchor> anchor_;
};

}  // namespace quorvel
