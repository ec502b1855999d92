// Reads the text around the insertion point of the focused field, with the
// field's kind and the frontmost application, through the accessibility
// interface. Only the requested windows of text are asked for; the whole
// value is copied only as a fall-back, and only when it is not huge.
//
// Threading: called from the shell's main thread (reads are synchronous
// cross-process requests); lastProblem is safe to read from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "learning/AccessibleElement.h"
#include "text/CursorContext.h"

namespace quorvel::CursorContextReader {

inline constexpr std::int64_t defaultMaxBefore = 200;
// The whole value is used as a fall-back only up to this many UTF-16 units.
inline constexpr std::int64_t maxFallbackValue = 200000;

// The context, or nothing (lastProblem then says why in most cases).
std::optional<CursorContext> read(AccessibilityDesktop& desktop,
                                  std::int64_t maxBefore = defaultMaxBefore,
                                  std::int64_t maxAfter = 1);

// Why the most recent failing read gave nothing; a successful read leaves it.
std::string lastProblem();

}  // namespace quorvel::CursorContextReader
