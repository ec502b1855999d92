// Measures, places and fits the status tag's content.
#include "app/tag/TagLayout.h"

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "support/Utf8.h"
#include "text/Graphemes.h"

namespace quorvel::tag {

namespace {

// Enough bytes to hold kLabelLimit characters of any ordinary script; a
// longer text is shortened whatever it holds.
constexpr std::size_t kTailBytes = 4096;

// Start of the UTF-8 tail of at most kTailBytes that begins on a character.
std::size_t tailStart(std::string_view utf8) {
  if (utf8.size() <= kTailBytes) return 0;
  std::size_t start = utf8.size() - kTailBytes;
  while (start < utf8.size() && (static_cast<unsigned char>(utf8[start]) & 0xC0) == 0x80) ++start;
  return start;
}

// Character (grapheme cluster) starts of text, in order, text.length() last.
std::vector<int32_t> characterStarts(const icu::UnicodeString& text) {
  std::vector<int32_t> starts;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> characters(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status) || !characters) {
    for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) starts.push_back(i);
    starts.push_back(text.length());
    return starts;
  }
  characters->setText(text);
  for (int32_t at = characters->first(); at != icu::BreakIterator::DONE; at = characters->next()) {
    starts.push_back(at);
  }
  if (starts.empty() || starts.back() != text.length()) starts.push_back(text.length());
  return starts;
}

std::u16string_view viewOf(const icu::UnicodeString& text) {
  return {reinterpret_cast<const char16_t*>(text.getBuffer()), static_cast<std::size_t>(text.length())};
}

double finiteWidth(const MeasureText& measure, std::u16string_view text) {
  const double width = measure ? measure(text) : 0;
  return std::isfinite(width) && width > 0 ? width : 0;
}

double clampWidth(double width) { return std::clamp(std::ceil(width), 1.0, kMaxWidth); }

}  // namespace

LabelText labelText(std::string_view utf8) {
  const std::size_t start = tailStart(utf8);
  const std::string repaired = repairUtf8(utf8.substr(start));
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(repaired);

  // Line breaks become spaces; a CR LF pair is one break.
  icu::UnicodeString flat;
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    const int32_t next = text.moveIndex32(i, 1);
    if (graphemes::isLineTerminator(c)) {
      flat.append(u' ');
      i = (c == 0x0D && next < text.length() && text.charAt(next) == 0x0A) ? next + 1 : next;
    } else {
      flat.append(c);
      i = next;
    }
  }

  LabelText label;
  label.shortened = start > 0;
  const std::vector<int32_t> starts = characterStarts(flat);
  const std::size_t characters = starts.size() - 1;
  int32_t from = 0;
  if (characters > static_cast<std::size_t>(kLabelLimit)) {
    from = starts[characters - kLabelLimit];
    label.shortened = true;
  }
  label.text = std::u16string(viewOf(flat).substr(static_cast<std::size_t>(from)));
  return label;
}

std::u16string fitLabel(const LabelText& label, double room, const MeasureText& measure) {
  const icu::UnicodeString text(false, reinterpret_cast<const UChar*>(label.text.data()),
                                static_cast<int32_t>(label.text.size()));
  const std::vector<int32_t> starts = characterStarts(text);
  const std::size_t characters = starts.size() - 1;
  const std::u16string_view all(label.text);

  // Candidate k keeps the characters from the k-th on, with "…" when k > 0
  // or the label was shortened before.
  auto candidate = [&](std::size_t k) {
    std::u16string shown;
    if (k > 0 || label.shortened) shown.append(kEllipsis);
    shown.append(all.substr(static_cast<std::size_t>(starts[k])));
    return shown;
  };
  auto fits = [&](std::size_t k) { return finiteWidth(measure, candidate(k)) <= room; };

  if (characters <= 1 || fits(0)) return candidate(0);
  // Dropping characters never makes the text wider, so the first count that
  // fits is found by halving; at most one character is always left.
  std::size_t tooWide = 0, last = characters - 1;
  if (!fits(last)) return candidate(last);
  while (last - tooWide > 1) {
    const std::size_t middle = tooWide + (last - tooWide) / 2;
    if (fits(middle)) {
      last = middle;
    } else {
      tooWide = middle;
    }
  }
  return candidate(last);
}

void TagContent::setPreview(std::string text) {
  label = labelText(text);
  preview = std::move(text);
}

double barLevel(double level) {
  if (!std::isfinite(level)) return 0;
  return std::clamp(level * 1.15, 0.0, 1.0);
}

void TagContent::step(double level) {
  ++tick;
  if (mode != TagMode::recording) return;
  std::rotate(history.begin(), history.begin() + 1, history.end());
  history.back() = barLevel(level);
}

void TagContent::reset() { history.fill(0); }

ShownLabel shownLabel(const TagContent& content) {
  const auto own = [](std::u16string_view word) { return ShownLabel{LabelText{std::u16string(word), false}, false}; };
  switch (content.mode) {
    case TagMode::recording:
      return {};
    case TagMode::transcribing:
      return own(kTranscribing);
    case TagMode::polishing:
      return content.label.text.empty() ? own(kCleaningUp) : ShownLabel{content.label, true};
    case TagMode::done:
      return {content.label, true};
    case TagMode::failed:
      return content.label.text.empty() ? own(kDidntCatchThat) : ShownLabel{content.label, true};
  }
  return {};
}

double idealWidth(const TagContent& content, const TagFonts& fonts) {
  auto sans = [&](std::u16string_view text) { return std::ceil(finiteWidth(fonts.sans, text)); };
  auto mono = [&](std::u16string_view text) { return std::ceil(finiteWidth(fonts.mono, text)); };
  // Text after the seven wave bars: 14 before them, 36 for them, 12 after, 18 after the text.
  constexpr double kWaveLabel = 62 + 18;
  const ShownLabel shown = shownLabel(content);
  switch (content.mode) {
    case TagMode::recording:
      return kRecordingWidth;
    case TagMode::transcribing:
    case TagMode::polishing:
      // The user's words get the wide pill; the tag's own word just its room.
      return shown.userText ? kPolishingTextWidth : clampWidth(sans(shown.text.text) + kWaveLabel);
    case TagMode::done: {
      // The count is measured as drawn, shortened like any label.
      const std::u16string count = fitLabel(shown.text, kMaxWidth, fonts.mono);
      return clampWidth(sans(kTyped) + 35 + 10 + mono(count) + 16);
    }
    case TagMode::failed: {
      const std::u16string text = shown.userText ? fitLabel(shown.text, kMaxWidth, fonts.sans) : shown.text.text;
      return clampWidth(sans(text) + 14 + 16);
    }
  }
  return kRecordingWidth;
}

Placement placeTag(const Rect& usable, double width, bool tagTop) {
  const double w = std::clamp(std::isfinite(width) ? width : kRecordingWidth, 1.0, kMaxWidth);
  double x = std::round(usable.x + usable.width / 2 - w / 2);
  // A usable area narrower than the tag: start at its left edge.
  if (w > usable.width) x = std::round(usable.x);
  const double y = tagTop ? std::round(usable.y + kMarginTop)
                          : std::round(usable.y + usable.height - kMarginBottom - kHeight);
  Placement placement;
  placement.end = {x, y, w, kHeight};
  placement.start = placement.end;
  placement.start.y += tagTop ? -kSlide : kSlide;
  return placement;
}

Rect resizeAroundCentre(const Rect& current, double width) {
  const double w = std::clamp(std::isfinite(width) ? width : kRecordingWidth, 1.0, kMaxWidth);
  const double centre = current.x + current.width / 2;
  return {std::round(centre - w / 2), current.y + current.height - kHeight, w, kHeight};
}

}  // namespace quorvel::tag
