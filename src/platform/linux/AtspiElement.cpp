// An AT-SPI accessible behind the AccessibleElement interface, with the
// offset conversion between the toolkit's units and UTF-16.
#include "platform/linux/AtspiElement.h"

#include <atspi/atspi.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cctype>

namespace quorvel {
namespace {

// Far from the cursor, offsets are converted as if every character were one
// UTF-16 unit: the text windows the callers ask for are a few thousand units
// around the cursor, and reading megabytes to place them exactly is not worth
// a stalled key release.
constexpr int exactSpan = 65536;

std::u16string utf16Of(const char* utf8) {
  // Invalid UTF-8 becomes U+FFFD, never a failure.
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8 == nullptr ? "" : utf8);
  return std::u16string(reinterpret_cast<const char16_t*>(text.getBuffer()),
                        static_cast<size_t>(text.length()));
}

bool containsSearchRole(const char* xmlRoles) {
  if (xmlRoles == nullptr) return false;
  std::string text = xmlRoles;
  return text.find("searchbox") != std::string::npos || text.find("search") == 0;
}

}  // namespace

AtspiElement::AtspiElement(AtspiAccessible* accessible)
    : accessible_(static_cast<AtspiAccessible*>(g_object_ref(accessible))) {}

AtspiElement::~AtspiElement() {
  if (text_ != nullptr) g_object_unref(text_);
  g_object_unref(accessible_);
}

void AtspiElement::failed(GError* error) {
  if (error == nullptr) return;
  // A failed call means the object's process is gone, hung or refusing: the
  // remaining calls are pointless, and cheap answers beat more waiting.
  unresponsive_ = true;
  g_error_free(error);
}

void AtspiElement::readRole() {
  if (roleRead_) return;
  roleRead_ = true;
  GError* error = nullptr;
  const AtspiRole role = atspi_accessible_get_role(accessible_, &error);
  if (error != nullptr) {
    failed(error);
    roleName_ = "unresponsive element";
    return;
  }
  if (gchar* name = atspi_accessible_get_role_name(accessible_, nullptr)) {
    roleName_ = name;
    g_free(name);
  }
  AtspiStateSet* states = atspi_accessible_get_state_set(accessible_);
  const bool multiLine = states && atspi_state_set_contains(states, ATSPI_STATE_MULTI_LINE);
  const bool singleLine = states && atspi_state_set_contains(states, ATSPI_STATE_SINGLE_LINE);
  const bool editable = states && atspi_state_set_contains(states, ATSPI_STATE_EDITABLE);
  if (states != nullptr) g_object_unref(states);

  switch (role) {
    case ATSPI_ROLE_PASSWORD_TEXT:
      role_ = ElementRole::textField;
      subrole_ = ElementSubrole::secureTextField;
      break;
    case ATSPI_ROLE_ENTRY:
    case ATSPI_ROLE_SPIN_BUTTON:
    case ATSPI_ROLE_EDITBAR:
      role_ = multiLine ? ElementRole::textArea : ElementRole::textField;
      break;
    case ATSPI_ROLE_TEXT:
      // GTK names every text "text"; one line or several comes from the states.
      role_ = singleLine && !multiLine ? ElementRole::textField : ElementRole::textArea;
      break;
    case ATSPI_ROLE_DOCUMENT_TEXT:
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_SECTION:
    case ATSPI_ROLE_DOCUMENT_FRAME:
    case ATSPI_ROLE_DOCUMENT_WEB:
      role_ = editable ? ElementRole::textArea : ElementRole::other;
      break;
    case ATSPI_ROLE_COMBO_BOX:
      role_ = ElementRole::comboBox;
      break;
    case ATSPI_ROLE_TERMINAL:
      role_ = ElementRole::terminal;
      break;
    default:
      role_ = ElementRole::other;
      break;
  }
  if (role_ == ElementRole::textField && subrole_ == ElementSubrole::none) {
    // Browsers say "searchbox" in the object's attributes.
    if (GHashTable* attributes = atspi_accessible_get_attributes(accessible_, nullptr)) {
      if (containsSearchRole(static_cast<const char*>(g_hash_table_lookup(attributes, "xml-roles")))) {
        subrole_ = ElementSubrole::searchField;
      }
      g_hash_table_unref(attributes);
    }
  }
  text_ = atspi_accessible_get_text_iface(accessible_);
  if (text_ != nullptr) {
    if (gchar* toolkit = atspi_accessible_get_toolkit_name(accessible_, nullptr)) {
      std::string name = toolkit;
      g_free(toolkit);
      std::transform(name.begin(), name.end(), name.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      utf16Offsets_ = name.rfind("qt", 0) == 0;
    }
  }
}

ElementRole AtspiElement::role() {
  readRole();
  return role_;
}

ElementSubrole AtspiElement::subrole() {
  readRole();
  return subrole_;
}

std::string AtspiElement::roleName() {
  readRole();
  return roleName_.empty() ? std::string(elementRoleName(role_)) : roleName_;
}

std::optional<std::u16string> AtspiElement::fetch(int start, int end) {
  if (text_ == nullptr || unresponsive_ || start < 0 || end < start) return std::nullopt;
  if (start == end) return std::u16string();
  GError* error = nullptr;
  gchar* text = atspi_text_get_text(text_, start, end, &error);
  if (error != nullptr) {
    failed(error);
    g_free(text);
    return std::nullopt;
  }
  std::u16string units = utf16Of(text);
  g_free(text);
  return units;
}

std::optional<int> AtspiElement::characterCount() {
  if (text_ == nullptr || unresponsive_) return std::nullopt;
  GError* error = nullptr;
  const int count = atspi_text_get_character_count(text_, &error);
  if (error != nullptr) {
    failed(error);
    return std::nullopt;
  }
  return count < 0 ? std::nullopt : std::optional<int>(count);
}

bool AtspiElement::readAnchor() {
  if (anchor_) return true;
  readRole();
  if (text_ == nullptr || unresponsive_) return false;
  GError* error = nullptr;
  const int caret = atspi_text_get_caret_offset(text_, &error);
  if (error != nullptr) {
    failed(error);
    return false;
  }
  Anchor anchor;
  anchor.start = anchor.end = caret;
  const int selections = atspi_text_get_n_selections(text_, nullptr);
  if (selections > 0) {
    if (AtspiRange* range = atspi_text_get_selection(text_, 0, nullptr)) {
      if (range->start_offset >= 0 && range->end_offset >= 0) {
        anchor.start = std::min(range->start_offset, range->end_offset);
        anchor.end = std::max(range->start_offset, range->end_offset);
      }
      g_free(range);
    }
  }
  if (anchor.start < 0) {
    anchor_ = anchor;  // a negative caret is reported as it is
    anchor_->start16 = anchor.start;
    anchor_->end16 = anchor.end;
    return true;
  }
  if (utf16Offsets_) {
    anchor.start16 = anchor.start;
    anchor.end16 = anchor.end;
  } else {
    // The UTF-16 length of what lies before the cursor, measured on the text.
    const int from = std::max(0, anchor.start - exactSpan);
    auto before = fetch(from, anchor.start);
    if (!before) return false;
    anchor.start16 = from + static_cast<std::int64_t>(before->size());
    auto selected = fetch(anchor.start, anchor.end);
    if (!selected) return false;
    anchor.end16 = anchor.start16 + static_cast<std::int64_t>(selected->size());
  }
  anchor_ = anchor;
  return true;
}

SelectedRangeAnswer AtspiElement::selectedRange() {
  readRole();
  SelectedRangeAnswer answer;
  if (text_ == nullptr || !readAnchor()) return answer;  // missing
  answer.status = SelectedRangeAnswer::Status::range;
  answer.range = {anchor_->start16, anchor_->end16 - anchor_->start16};
  return answer;
}

std::optional<std::int64_t> AtspiElement::numberOfCharacters() {
  auto count = characterCount();
  if (!count || utf16Offsets_) return count;
  if (!readAnchor() || anchor_->start < 0) return count;
  if (*count < anchor_->end) return *count;  // lies about its size: nothing after
  const int exactEnd = std::min(*count, anchor_->end + exactSpan);
  auto rest = fetch(anchor_->end, exactEnd);
  if (!rest) return std::nullopt;
  return anchor_->end16 + static_cast<std::int64_t>(rest->size()) + (*count - exactEnd);
}

std::optional<std::u16string> AtspiElement::stringForRange(TextRange range) {
  readRole();
  if (text_ == nullptr || unresponsive_ || range.location < 0 || range.length < 0) {
    return std::nullopt;
  }
  if (range.length == 0) return std::u16string();
  const std::int64_t start16 = range.location;
  const std::int64_t end16 = range.location + range.length;
  if (utf16Offsets_) {
    if (end16 > INT32_MAX) return std::nullopt;
    return fetch(static_cast<int>(start16), static_cast<int>(end16));
  }
  if (!readAnchor() || anchor_->start < 0) return std::nullopt;
  // A window around the cursor that surely covers the range: n UTF-16 units
  // never hold more than n characters.
  const Anchor& a = *anchor_;
  const std::int64_t reachBack = std::max<std::int64_t>(0, a.start16 - start16);
  const std::int64_t reachOn = std::max<std::int64_t>(0, end16 - a.end16);
  if (reachBack > INT32_MAX / 2 || reachOn > INT32_MAX / 2) return std::nullopt;
  const int from = static_cast<int>(std::max<std::int64_t>(0, a.start - reachBack));
  const int to = static_cast<int>(a.end + reachOn);
  auto head = fetch(from, a.start);
  auto tail = fetch(a.start, to);  // the selection and what follows
  if (!head || !tail) return std::nullopt;
  const auto cursorInWindow = static_cast<std::int64_t>(head->size());
  std::u16string window = *head + *tail;
  const std::int64_t begin = cursorInWindow - (a.start16 - start16);
  if (begin < 0 || begin > static_cast<std::int64_t>(window.size())) return std::nullopt;
  // A range past the end of the text gives what there is.
  return window.substr(static_cast<size_t>(begin), static_cast<size_t>(range.length));
}

std::optional<std::u16string> AtspiElement::value() {
  readRole();
  auto count = characterCount();
  if (!count) return std::nullopt;
  // More characters than the callers would ever take whole: not read at all.
  if (*count > 400000) return std::nullopt;
  return fetch(0, *count);
}

}  // namespace quorvel
