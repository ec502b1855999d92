// The check for phrases a speech model invents from silence.
#include "audio/Hallucination.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <array>

namespace quorvel {

namespace {

bool trimmed(UChar32 c) { return u_isUWhiteSpace(c) || u_ispunct(c); }

}  // namespace

bool isSilenceHallucination(std::string_view text) {
  icu::UnicodeString unicode =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  unicode.toLower(icu::Locale::getRoot());
  int32_t begin = 0;
  int32_t end = unicode.length();
  while (begin < end && trimmed(unicode.char32At(begin))) begin = unicode.moveIndex32(begin, 1);
  while (end > begin) {
    const int32_t previous = unicode.moveIndex32(end, -1);
    if (!trimmed(unicode.char32At(previous))) break;
    end = previous;
  }
  std::string core;
  unicode.tempSubStringBetween(begin, end).toUTF8String(core);
  static constexpr std::array<std::string_view, 7> kPhrases = {
      "", "you", "thank you", "thanks", "thanks for watching", "thank you for watching", "bye"};
  for (const auto phrase : kPhrases) {
    if (core == phrase) return true;
  }
  return false;
}

}  // namespace quorvel
