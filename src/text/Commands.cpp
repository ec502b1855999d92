// Removal of spoken editing commands: sign-offs at the end of a dictation
// ("that's it", "and yeah", "format this nicely") and whole sentences that ask
// for an edit the model did not carry out ("scratch that", "new bullet").
#include "text/EndAnchoredPattern.h"
#include "text/RulePatterns.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

#include <array>

namespace quorvel::TextHelpers {
namespace {

using icu::UnicodeString;

bool endsWithSentenceMark(const UnicodeString& text) {
  if (text.isEmpty()) return false;
  const char16_t last = text.charAt(text.length() - 1);
  return last == u'.' || last == u'!' || last == u'?';
}

const std::array<const EndAnchoredPattern*, 4>& closingCommands() {
  static const EndAnchoredPattern thatsIt(patterns::kClosingCommands[0]);
  static const EndAnchoredPattern yeahAfterSentence(patterns::kClosingCommands[1]);
  static const EndAnchoredPattern yeahAfterComma(patterns::kClosingCommands[2]);
  static const EndAnchoredPattern formatThis(patterns::kClosingCommands[3]);
  static const std::array<const EndAnchoredPattern*, 4> inOrder = {
      &thatsIt, &yeahAfterSentence, &yeahAfterComma, &formatThis};
  return inOrder;
}

bool isLeftoverCommand(const UnicodeString& sentence) {
  const bool closed = sentence.endsWith(UnicodeString(u".")) || sentence.endsWith(UnicodeString(u"!"));
  const UnicodeString tested = closed ? sentence : sentence + UnicodeString(u".");
  // Every alternative of the pattern begins with "^", so a match can only start
  // at the beginning: trying that one position finds whatever a search would.
  auto matcher = unicode::matcherFor(patterns::compiled<patterns::kLeftoverCommand>(), tested);
  UErrorCode status = U_ZERO_ERROR;
  const bool matched = matcher->lookingAt(status);
  return U_SUCCESS(status) && matched;
}

bool onlySpacesAndTabs(const UnicodeString& line) {
  return unicode::trimSpacesAndTabs(line).isEmpty();
}

}  // namespace

std::string stripClosingCommands(std::string_view raw) {
  const UnicodeString input = unicode::fromUtf8(raw);
  UnicodeString text = input;
  // Removing one command can uncover another ("... and yeah. That's it.").
  // Every removal shortens the text, so the loop ends.
  bool changed = true;
  while (changed) {
    changed = false;
    for (const EndAnchoredPattern* command : closingCommands()) {
      UnicodeString next = command->removeMatches(text);
      if (next != text) {
        text = std::move(next);
        changed = true;
      }
    }
  }
  text = unicode::trimWhitespaceAndLineBreaks(text);
  // A dictation that is nothing but a command was meant as text.
  if (text.isEmpty()) return unicode::toUtf8(unicode::trimWhitespaceAndLineBreaks(input));
  if (!endsWithSentenceMark(text)) text += u'.';
  return unicode::toUtf8(text);
}

std::string removeLeftoverCommands(std::string_view raw) {
  const UnicodeString listPrefix(u"- ");
  const UnicodeString sentenceSeparator(u". ");
  std::vector<UnicodeString> lines;
  for (const UnicodeString& line : unicode::splitLiteral(unicode::fromUtf8(raw), UnicodeString(u"\n"))) {
    const bool listItem = line.startsWith(listPrefix);
    const UnicodeString body = listItem ? UnicodeString(line, listPrefix.length()) : line;

    std::vector<UnicodeString> kept;
    for (const UnicodeString& part : unicode::splitLiteral(body, sentenceSeparator)) {
      const UnicodeString sentence = unicode::trimSpacesAndTabs(part);
      if (!sentence.isEmpty() && !isLeftoverCommand(sentence)) kept.push_back(sentence);
    }

    if (kept.empty()) {
      // Blank lines keep the layout; a line of nothing but commands goes.
      if (onlySpacesAndTabs(line)) lines.push_back(line);
      continue;
    }
    UnicodeString rebuilt = unicode::join(kept, sentenceSeparator);
    if (body.endsWith(UnicodeString(u".")) && !rebuilt.endsWith(UnicodeString(u"."))) rebuilt += u'.';
    lines.push_back(listItem ? listPrefix + rebuilt : rebuilt);
  }
  UnicodeString text = unicode::join(lines, UnicodeString(u"\n"));
  text = unicode::replaceAll(patterns::compiled<patterns::kBlankLineRuns>(), text, u"\n\n");
  return unicode::toUtf8(unicode::trimWhitespaceAndLineBreaks(text));
}

}  // namespace quorvel::TextHelpers
