// Counting words, cutting a transcript into sentence-aligned pieces of about a
// target size (so pieces can be cleaned separately, even while the user still
// talks), and joining cleaned pieces back together.
#include "text/RulePatterns.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

#include <cstdint>

namespace quorvel::TextHelpers {
namespace {

using icu::UnicodeString;

// Targets come from callers; the arithmetic below must not overflow whatever they pass.
int64_t longSentenceLimit(int target) { return static_cast<int64_t>(target) * 3 / 2; }

// A sentence that is too long, cut after the comma where the accumulated parts
// first reach `target` words. The cut comma stays on the earlier piece.
void appendCutAtCommas(const UnicodeString& sentence, int target,
                       std::vector<UnicodeString>& out) {
  const UnicodeString comma(u", ");
  const std::vector<UnicodeString> parts = unicode::splitLiteral(sentence, comma);
  UnicodeString accumulated;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!accumulated.isEmpty()) accumulated += comma;
    accumulated += parts[i];
    if (unicode::countWords(accumulated) >= target) {
      if (i + 1 < parts.size()) accumulated += u',';
      out.push_back(accumulated);
      accumulated.remove();
    }
  }
  if (!accumulated.isEmpty()) out.push_back(accumulated);
}

std::vector<UnicodeString> sentencesOf(const UnicodeString& text, int target) {
  std::vector<UnicodeString> sentences;
  for (const UnicodeString& entry : unicode::splitByPattern(text, patterns::compiled<patterns::kSentenceBreak>())) {
    if (entry.isEmpty()) continue;
    if (unicode::countWords(entry) <= longSentenceLimit(target)) {
      sentences.push_back(entry);
    } else {
      appendCutAtCommas(entry, target, sentences);
    }
  }
  return sentences;
}

struct Groups {
  std::vector<UnicodeString> pieces;
  UnicodeString rest;
};

Groups groupsOf(const std::vector<UnicodeString>& sentences, int target) {
  Groups groups;
  // Counting the accumulator from scratch after every sentence would make long
  // transcripts quadratic; the count of a join is the sum of the counts because
  // the joining space separates words.
  int accumulatedWords = 0;
  for (const UnicodeString& sentence : sentences) {
    if (!groups.rest.isEmpty()) groups.rest += u' ';
    groups.rest += sentence;
    accumulatedWords += unicode::countWords(sentence);
    if (accumulatedWords >= target) {
      groups.pieces.push_back(groups.rest);
      groups.rest.remove();
      accumulatedWords = 0;
    }
  }
  return groups;
}

std::vector<std::string> toUtf8List(const std::vector<UnicodeString>& texts) {
  std::vector<std::string> out;
  out.reserve(texts.size());
  for (const UnicodeString& text : texts) out.push_back(unicode::toUtf8(text));
  return out;
}

}  // namespace

int wordCount(std::string_view text) { return unicode::countWords(unicode::fromUtf8(text)); }

std::vector<std::string> componentsSeparatedBy(std::string_view text,
                                               const icu::RegexPattern& separator) {
  return toUtf8List(unicode::splitByPattern(unicode::fromUtf8(text), separator));
}

std::vector<std::string> sentenceList(std::string_view text, int target) {
  return toUtf8List(sentencesOf(unicode::fromUtf8(text), target));
}

SentenceGroups groupSentences(const std::vector<std::string>& sentences, int target) {
  std::vector<UnicodeString> converted;
  converted.reserve(sentences.size());
  for (const std::string& sentence : sentences) converted.push_back(unicode::fromUtf8(sentence));
  Groups groups = groupsOf(converted, target);
  return {toUtf8List(groups.pieces), unicode::toUtf8(groups.rest)};
}

std::vector<std::string> sentencePieces(std::string_view text, int target) {
  Groups groups = groupsOf(sentencesOf(unicode::fromUtf8(text), target), target);
  if (!groups.rest.isEmpty()) {
    // A short tail is folded into the piece before it rather than cleaned alone.
    if (!groups.pieces.empty() && unicode::countWords(groups.rest) < target / 3) {
      groups.pieces.back() += u' ';
      groups.pieces.back() += groups.rest;
    } else {
      groups.pieces.push_back(groups.rest);
    }
  }
  return toUtf8List(groups.pieces);
}

std::string joinPieces(const std::vector<std::string>& pieces) {
  UnicodeString joined;
  bool first = true;
  for (const std::string& raw : pieces) {
    const UnicodeString piece = unicode::trimWhitespaceAndLineBreaks(unicode::fromUtf8(raw));
    if (piece.isEmpty()) continue;
    if (first) {
      joined = piece;
      first = false;
      continue;
    }
    // Pieces with their own line structure stay visually apart.
    const bool lines = joined.indexOf(u'\n') >= 0 || piece.indexOf(u'\n') >= 0;
    joined += lines ? UnicodeString(u"\n\n") : UnicodeString(u" ");
    joined += piece;
  }
  return unicode::toUtf8(joined);
}

}  // namespace quorvel::TextHelpers
