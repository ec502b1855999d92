// The cursor-context reading steps with their fall-backs and failure texts.
#include "learning/CursorContextReader.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <limits>
#include <mutex>

namespace quorvel::CursorContextReader {
namespace {

std::mutex problemMutex;
std::string problem;  // guarded by problemMutex

void setProblem(std::string text) {
  std::scoped_lock lock(problemMutex);
  problem = std::move(text);
}

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
  if (b > 0 && a > std::numeric_limits<std::int64_t>::max() - b) {
    return std::numeric_limits<std::int64_t>::max();
  }
  return a + b;
}

// UTF-16 text as UTF-8, without half a surrogate pair at either end (a window
// cut through an emoji loses that emoji rather than gaining U+FFFD).
std::string toUtf8(std::u16string_view units) {
  if (!units.empty() && U16_IS_TRAIL(units.front())) units.remove_prefix(1);
  if (!units.empty() && U16_IS_LEAD(units.back())) units.remove_suffix(1);
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size();) {
    char32_t c = units[i++];
    if (U16_IS_LEAD(c) && i < units.size() && U16_IS_TRAIL(units[i])) {
      c = U16_GET_SUPPLEMENTARY(c, units[i]);
      ++i;
    } else if (U16_IS_SURROGATE(c)) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// The text of a range; an empty range is "" without asking the element.
std::optional<std::u16string> stringFor(AccessibleElement& element, TextRange range) {
  if (range.length < 1) return std::u16string();
  return element.stringForRange(range);
}

CursorContext::Kind classify(ElementRole role, ElementSubrole subrole) {
  if (subrole == ElementSubrole::searchField) return CursorContext::Kind::search;
  if (role == ElementRole::textField || role == ElementRole::comboBox) {
    return CursorContext::Kind::singleLine;
  }
  if (role == ElementRole::textArea) return CursorContext::Kind::multiLine;
  return CursorContext::Kind::unknown;
}

}  // namespace

std::optional<CursorContext> read(AccessibilityDesktop& desktop, std::int64_t maxBefore,
                                  std::int64_t maxAfter) {
  maxBefore = std::max<std::int64_t>(maxBefore, 0);
  maxAfter = std::max<std::int64_t>(maxAfter, 0);
  if (!desktop.isTrusted()) {
    setProblem("no Accessibility permission");
    return std::nullopt;
  }
  FocusedElementAnswer focused = desktop.focusedElement();
  if (focused.errorCode != 0 || !focused.element) {
    setProblem("no focused element (AXError " + std::to_string(focused.errorCode) + ")");
    return std::nullopt;
  }
  AccessibleElement& element = *focused.element;
  const ElementRole role = element.role();
  const ElementSubrole subrole = element.subrole();
  if (subrole == ElementSubrole::secureTextField) {
    setProblem("password field");  // nothing else is read from a password field
    return std::nullopt;
  }

  const SelectedRangeAnswer selection = element.selectedRange();
  using Status = SelectedRangeAnswer::Status;
  if (selection.status == Status::missing || selection.status == Status::notAValue) {
    setProblem("no selection range on " + element.roleName() + "/" +
               std::string(elementSubroleName(subrole)) + " in " +
               desktop.frontmostApp().value_or("?"));
    return std::nullopt;
  }
  if (selection.status == Status::notARange || selection.range.location < 0) return std::nullopt;
  const std::int64_t location = selection.range.location;
  const std::int64_t length = std::max<std::int64_t>(selection.range.length, 0);
  const std::int64_t selectionEnd = saturatingAdd(location, length);

  const std::int64_t beforeCount = std::min(location, maxBefore);
  std::int64_t afterCount = maxAfter;
  if (auto characters = element.numberOfCharacters()) {
    const std::int64_t rest = *characters - selectionEnd;
    afterCount = rest < 0 ? 0 : std::min(rest, maxAfter);
  }
  std::optional<std::u16string> before =
      stringFor(element, {location - beforeCount, beforeCount});
  std::optional<std::u16string> after = stringFor(element, {selectionEnd, afterCount});

  if (!before || !after) {
    // Some toolkits answer the selection but not ranges of text: use the value.
    auto value = element.value();
    if (!value || static_cast<std::int64_t>(value->size()) > maxFallbackValue) {
      setProblem("no value for " + element.roleName());
      return std::nullopt;
    }
    const auto size = static_cast<std::int64_t>(value->size());
    const std::int64_t cursor = std::min(size, location);
    const std::int64_t start = std::max<std::int64_t>(0, cursor - beforeCount);
    before = value->substr(static_cast<size_t>(start), static_cast<size_t>(cursor - start));
    const std::int64_t end = std::min(size, selectionEnd);
    after = end >= size ? std::u16string()
                        : value->substr(static_cast<size_t>(end),
                                        static_cast<size_t>(std::min(size - end, maxAfter)));
  }

  CursorContext context;
  context.before = toUtf8(*before);
  context.after = toUtf8(*after);
  context.kind = classify(role, subrole);
  context.app = desktop.frontmostApp();
  return context;
}

std::string lastProblem() {
  std::scoped_lock lock(problemMutex);
  return problem;
}

}  // namespace quorvel::CursorContextReader
