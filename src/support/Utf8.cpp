// A small UTF-8 decoder used to validate and repair text.
#include "support/Utf8.h"

namespace quorvel {
namespace {

// Length of the valid sequence starting at i, or the length of the maximal
// invalid subpart (at least 1) negated.
int sequenceLength(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) return 1;
  int length;
  unsigned char low = 0x80, high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return -1;
  }
  for (int k = 1; k < length; ++k) {
    if (i + k >= s.size()) return -k;
    const unsigned char b = byte(i + k);
    const unsigned char lo = k == 1 ? low : 0x80;
    const unsigned char hi = k == 1 ? high : 0xBF;
    if (b < lo || b > hi) return -k;
  }
  return length;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const int n = sequenceLength(text, i);
    if (n < 0) return false;
    i += static_cast<size_t>(n);
  }
  return true;
}

std::string repairUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const int n = sequenceLength(text, i);
    if (n > 0) {
      out.append(text.substr(i, static_cast<size_t>(n)));
      i += static_cast<size_t>(n);
    } else {
      out.append("\xEF\xBF\xBD");
      i += static_cast<size_t>(-n);
    }
  }
  return out;
}

}  // namespace quorvel
