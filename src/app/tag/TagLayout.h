// The status tag's content and geometry as plain values and functions: what
// each mode shows, how wide the pill is, where it goes on the screen and how a
// label is fitted to its room. The Qt tag draws from these; tests drive them
// without a screen.
//
// Units are device-independent pixels; rectangles use the window system's
// coordinates (origin top left, y growing downwards).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/tag/TagView.h"

namespace quorvel::tag {

inline constexpr double kHeight = 32;
inline constexpr int kHistoryLength = 18;
inline constexpr int kLabelLimit = 90;          // characters a label keeps from its end
inline constexpr double kRecordingWidth = 132.5;
inline constexpr double kPolishingTextWidth = 440;
// No mode grows beyond this, whatever text it is given.
inline constexpr double kMaxWidth = 560;
inline constexpr double kMarginBottom = 24;     // above the bottom of the usable area
inline constexpr double kMarginTop = 10;        // below its top with "tagTop"
inline constexpr double kSlide = 8;             // the tag slides this far in from the edge

// Labels the tag writes itself.
inline constexpr std::u16string_view kTranscribing = u"Transcribing";
inline constexpr std::u16string_view kCleaningUp = u"Cleaning up";
inline constexpr std::u16string_view kTyped = u"Typed";
inline constexpr std::u16string_view kDidntCatchThat = u"Didn't catch that";
inline constexpr std::u16string_view kEllipsis = u"\u2026";

// A text prepared for a label: line breaks made spaces and only the last
// kLabelLimit characters (grapheme clusters) kept. `shortened` tells whether
// anything was cut, so the drawing shows "…" in front.
struct LabelText {
  std::u16string text;
  bool shortened = false;
  bool operator==(const LabelText&) const = default;
};

// Prepares any UTF-8 (invalid bytes become U+FFFD). Only the end of a very
// long text is looked at, so a megabyte costs no more than a sentence.
LabelText labelText(std::string_view utf8);

// Width of a text in one of the tag's two fonts.
using MeasureText = std::function<double(std::u16string_view)>;

// Fits a prepared label into `room`: while it is wider than the room and
// longer than one character its first character is dropped. A shortened text
// is measured with its "…" in front, so the ellipsis never spills past the
// room. The answer includes the "…" when there is one.
std::u16string fitLabel(const LabelText& label, double room, const MeasureText& measure);

// What the tag shows (the view's state).
struct TagContent {
  TagMode mode = TagMode::recording;
  std::string preview;                        // as given (UTF-8)
  LabelText label;                            // the preview prepared for drawing
  std::array<double, kHistoryLength> history{};  // oldest first, each in 0…1
  std::uint64_t tick = 0;

  void setPreview(std::string text);
  // One animation tick; while recording, the level joins the history.
  void step(double level);
  void reset();  // history back to zeros
};

// The words a mode writes beside its bars or check mark: the user's text
// (the cleaned words while polishing, the word count when done, the reason a
// dictation failed) or, while there is none, the tag's own word
// ("Transcribing", "Cleaning up", "Didn't catch that"). Recording writes
// nothing. The view fits `text` into its room and draws the tag's own words
// muted, except a failure's, which is always in ink.
struct ShownLabel {
  LabelText text;
  bool userText = false;
  bool operator==(const ShownLabel&) const = default;
};
ShownLabel shownLabel(const TagContent& content);

// A level as the bars show it: scaled by 1.15 and kept in 0…1 (NaN is 0).
double barLevel(double level);

// The text measures of the tag's two fonts.
struct TagFonts {
  MeasureText sans;  // the label font
  MeasureText mono;  // the word count
};

// Width the current mode and text need (at most kMaxWidth).
double idealWidth(const TagContent& content, const TagFonts& fonts);

struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

// Where a new tag appears: `start` is its place when it begins to fade in,
// `end` where it comes to rest, on `usable` (the screen's geometry without
// panels and docks). Kept inside the usable area even when it is narrower
// than the tag.
struct Placement {
  Rect start;
  Rect end;
};
Placement placeTag(const Rect& usable, double width, bool tagTop);

// The frame of a tag that is already up and changes width: same centre, same
// bottom edge, whole pixels.
Rect resizeAroundCentre(const Rect& current, double width);

}  // namespace quorvel::tag
