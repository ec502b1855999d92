// The text around the insertion point of the focused field, the field's kind
// and the frontmost application: a plain value shared by the cleanup request,
// the fitting rules, the edit watcher and the diagnostics. Reading it from the
// accessibility interface lives in learning/CursorContextReader.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

struct CursorContext {
  // Rough classification of the focused element. The order of the cases is
  // part of the record's meaning; the textual form is the case name.
  enum class Kind { singleLine, multiLine, search, unknown };

  // Text immediately before the insertion point (or the start of the
  // selection), ending exactly there. UTF-8.
  std::string before = {};
  // Text immediately after the end of the selection. UTF-8.
  std::string after = {};
  Kind kind = Kind::unknown;
  // Identifier of the frontmost application; absent when there is none or it
  // has no identifier.
  std::optional<std::string> app = std::nullopt;

  bool operator==(const CursorContext&) const = default;

  // The record to show the language model: in a terminal the surrounding text
  // is withheld (emptied), kind and app kept; anywhere else the record itself.
  CursorContext forModel() const;
};

// Whether an application identifier names a terminal, whose text is never
// shown to the model.
bool isTerminalApp(std::string_view app);

// "singleLine", "multiLine", "search" or "unknown".
constexpr std::string_view kindName(CursorContext::Kind kind) {
  switch (kind) {
    case CursorContext::Kind::singleLine: return "singleLine";
    case CursorContext::Kind::multiLine: return "multiLine";
    case CursorContext::Kind::search: return "search";
    case CursorContext::Kind::unknown: return "unknown";
  }
  return "unknown";
}

// The kind with that case name; nothing for any other text.
constexpr std::optional<CursorContext::Kind> kindNamed(std::string_view name) {
  for (auto kind : {CursorContext::Kind::singleLine, CursorContext::Kind::multiLine,
                    CursorContext::Kind::search, CursorContext::Kind::unknown}) {
    if (kindName(kind) == name) return kind;
  }
  return std::nullopt;
}

}  // namespace quorvel
