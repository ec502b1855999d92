// The restorers: dropped sentences, lost dictionary words and merged sentence
// breaks put back, and everything that must be left alone.
#include "text/Restorers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::TextHelpers {
namespace {

struct Case {
  const char* what;
  std::string source;
  std::string cleaned;
  std::string expected;
};

TEST(RestoreDroppedSentences, PutsBackASilentlyDroppedSentence) {
  const Case cases[] = {
      {"the middle sentence", "We shipped the build today. Tell Dana the numbers look great. Thanks.",
       "We shipped the build today. Thanks.",
       "We shipped the build today. Tell Dana the numbers look great. Thanks."},
      {"light-cleaned, in the source's words",
       "we shipped the new build to staging today. tell dana the numbers look great. thanks for all the "
       "work on the release.",
       "We shipped the new build to staging today. Thanks for all the work on the release.",
       "We shipped the new build to staging today. Tell dana the numbers look great. Thanks for all the "
       "work on the release."},
      {"fillers removed, a full stop added",
       "We shipped the build today. um so tell Dana the numbers look great\nThanks.",
       "We shipped the build today. Thanks.",
       "We shipped the build today. So tell Dana the numbers look great. Thanks."},
      {"nothing aligned before it: at the start",
       "Call the plumber about the leak tomorrow. Email the landlord too.", "Email the landlord too.",
       "Call the plumber about the leak tomorrow. Email the landlord too."},
      {"after a closing quote",
       "She said we shipped the build today. Tell Dana the numbers look great. Thanks.",
       "She said \"we shipped the build today.\" Thanks.",
       "She said \"we shipped the build today.\" Tell Dana the numbers look great. Thanks."},
      {"after the sentence mark, before the line feed",
       "Status update for the team. Tell Dana the numbers look great.\nThanks a lot everyone.",
       "Status update for the team.\nThanks a lot everyone.",
       "Status update for the team. Tell Dana the numbers look great.\nThanks a lot everyone."},
      {"no mark before the line feed: just before it",
       "Status update for the team. Tell Dana the numbers look great.\nThanks a lot everyone.",
       "Status update for the team\nThanks a lot everyone.",
       "Status update for the team Tell Dana the numbers look great.\nThanks a lot everyone."},
      {"two at one place, in source order",
       "We shipped the build today. Tell Dana the numbers look great. Ask Omar to book the venue. Thanks.",
       "We shipped the build today. Thanks.",
       "We shipped the build today. Tell Dana the numbers look great. Ask Omar to book the venue. Thanks."},
      {"at the end when no mark follows",
       "We shipped the build today. Tell Dana the numbers look great.", "We shipped the build today",
       "We shipped the build today Tell Dana the numbers look great."},
      {"double spaces collapse", "We shipped the build today. Tell Dana the numbers look great. Thanks.",
       "We shipped the build today.  Thanks.",
       "We shipped the build today. Tell Dana the numbers look great. Thanks."},
      {"four words are enough, fillers not counted",
       "We shipped the build today. Um call me later tonight. Thanks for all the work.",
       "We shipped the build today. Thanks for all the work.",
       "We shipped the build today. Call me later tonight. Thanks for all the work."},
  };
  for (const auto& c : cases) EXPECT_EQ(restoreDroppedSentences(c.source, c.cleaned), c.expected) << c.what;
}

TEST(RestoreDroppedSentences, LeavesEditsTheSpeakerAskedFor) {
  const Case cases[] = {
      {"a bulleted list", "We shipped the build today. Tell Dana the numbers look great. Thanks.",
       "- We shipped the build today\n- Thanks", ""},
      {"a list after a heading", "We shipped the build today. Tell Dana the numbers look great. Thanks.",
       "Notes:\n- We shipped the build today\n- Thanks", ""},
      {"next to scratch that",
       "Call the plumber about the leak tomorrow. Scratch that. Email the landlord instead.",
       "Email the landlord.", ""},
      {"next to I mean",
       "We shipped the build today. I mean the staging build. Tell Dana the numbers look great. Thanks.",
       "We shipped the staging build today. Thanks.", ""},
      {"next to no wait",
       "Book the table for eight people tonight. No wait. Book it for six people tomorrow.",
       "Book it for six people tomorrow.", ""},
      {"a cut-off word", "We shipped the build today. Tell Da- Dana the numbers look great. Thanks.",
       "We shipped the build today. Thanks.", ""},
      {"trailing off", "We shipped the build today. Tell Dana the numbers look... Thanks.",
       "We shipped the build today. Thanks.", ""},
      {"a dangling article", "We shipped the build today. Tell the, Dana the numbers look great. Thanks.",
       "We shipped the build today. Thanks.", ""},
      {"a spoken command", "We shipped the build today. Make that a bulleted list please. Thanks.",
       "We shipped the build today. Thanks.", ""},
      {"a new-line command", "We shipped the build today. New line please write the summary. Thanks.",
       "We shipped the build today.\nThanks.", ""},
      {"three words", "We shipped the build today. Call me later. Thanks for all the work.",
       "We shipped the build today. Thanks for all the work.", ""},
      {"fillers do not count", "We shipped the build today. Um uh the plan works. Thanks for all the work.",
       "We shipped the build today. Thanks for all the work.", ""},
      {"moved, not dropped", "Send the deck to the team. The numbers look great today. Thanks.",
       "Today the numbers look great. Send the deck to the team. Thanks.", ""},
      {"a quarter aligned", "We shipped the build today. Tell Dana the figures seem okay. Thanks.",
       "We shipped the build today. Tell Dana. Thanks.", ""},
      {"one sentence only", "tell dana the numbers look great", "Hello.", ""},
      {"curly apostrophes in the cleanup",
       "We can't ship the build yet. They're still testing the build. It's fine.",
       "We can’t ship the build yet. They’re still testing the build. It’s fine.", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(restoreDroppedSentences(c.source, c.cleaned), c.cleaned) << c.what;
  }
}

TEST(RestoreDictionaryWords, PutsBackLostWordsWhereTheSourceSaidThem) {
  struct DictionaryCase {
    const char* what;
    std::vector<std::string> dictionary;
    std::string source;
    std::string cleaned;
    std::string expected;
  } cases[] = {
      {"a phonetic spelling", {"Kubernetes"}, "deploy it on kubernetes now", "Deploy it on Cooper Nettie's now.",
       "Deploy it on Kubernetes now."},
      {"a filler in the gap does not count", {"Kubernetes"}, "deploy it on um kubernetes now",
       "Deploy it on Cooper Nettie's now.", "Deploy it on Kubernetes now."},
      {"one for one", {"Priya"}, "please ask priya about the budget", "Please ask Korea about the budget.",
       "Please ask Priya about the budget."},
      {"the same offset in an equal gap", {"Kumar"}, "send this to priya kumar today",
       "Send this to Pria Cooma today.", "Send this to Pria Kumar today."},
      {"two words in one gap", {"Priya", "Patel"}, "ask priya patel now", "Ask Korea Pistol now.",
       "Ask Priya Patel now."},
      {"overlapping places: the first word wins", {"Priya Patel", "Patel"}, "ask priya patel now",
       "Ask Korea Pistol now.", "Ask Priya Patel now."},
      {"the second saying of a word", {"Kubernetes"}, "kubernetes is great and kubernetes is fast",
       "Kubernetes is great and Cuban Eddie's is fast.", "Kubernetes is great and Kubernetes is fast."},
      {"written literally", {"A$AP"}, "play a$ap rocky now", "Play ASAP Rocky now.", "Play A$AP Rocky now."},
      {"at the very start", {"Kubernetes"}, "kubernetes runs it", "Cooper Nettie's runs it.",
       "Kubernetes runs it."},
      {"accented", {"Zoë"}, "ask zoë now", "Ask Joey now.", "Ask Zoë now."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(restoreDictionaryWords(c.source, c.cleaned, c.dictionary), c.expected) << c.what;
  }
}

TEST(RestoreDictionaryWords, LeavesUnclearPlacesAlone) {
  struct DictionaryCase {
    const char* what;
    std::vector<std::string> dictionary;
    std::string source;
    std::string cleaned;
  } cases[] = {
      {"too many words in the gap", {"Kubernetes"}, "deploy it on kubernetes now",
       "Deploy it on the cooper nettie thing now."},
      {"gap sizes differ", {"Priya"}, "ask priya patel now", "Ask Korea now."},
      {"nothing lost", {"Kubernetes"}, "use kubernetes", "Use Kubernetes."},
      {"only the case differs", {"Kubernetes"}, "deploy it on kubernetes now", "Deploy it on kubernetes now."},
      {"taken back by the speaker", {"Priya"}, "send it to priya no wait send it to sam", "Send it to Sam."},
      {"not said", {"Priya"}, "send it to sam", "Send it to Pria."},
      {"empty dictionary word", {""}, "deploy it now", "Deploy now."},
      {"pattern characters", {"C++", "(a|b)*", "\\E", "\\Q", "$1", "[", ".*"},
       "i write c++ and (a|b)* daily [ .* \\E \\Q $1", "I write C and ab daily."},
      {"empty texts", {"Kubernetes"}, "", ""},
      {"empty cleanup", {"Kubernetes"}, "kubernetes", ""},
      {"only punctuation", {"Kubernetes"}, "...", "!!!"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(restoreDictionaryWords(c.source, c.cleaned, c.dictionary), c.cleaned) << c.what;
  }
}

TEST(RestoreSentenceBreaks, SplitsMergedSentencesAgain) {
  const Case cases[] = {
      {"a comma", "I finished the report. Then we can ship it.", "I finished the report, then we can ship it.",
       "I finished the report. Then we can ship it."},
      {"an added and is dropped", "I finished the report. Then we can ship it.",
       "I finished the report and then we can ship it.", "I finished the report. Then we can ship it."},
      {"a conjunction starter kept", "We tested the new build. But we found a bug.",
       "We tested the new build, but we found a bug.", "We tested the new build. But we found a bug."},
      {"a conjunction the cleanup dropped", "We tested the new build. But we found a bug.",
       "We tested the new build, we found a bug.", "We tested the new build. We found a bug."},
      {"a contraction", "I finished the report. It's done now.", "I finished the report, it's done now.",
       "I finished the report. It's done now."},
      {"the cleanup's own case", "I finished the report. Then we can ship it.",
       "I finished the REPORT, THEN we can ship it.", "I finished the REPORT. THEN we can ship it."},
      {"tabs", "I finished the report.\tThen we can ship it.", "I finished the report,\tthen\twe can ship it.",
       "I finished the report. Then\twe can ship it."},
      {"two breaks", "We closed the ticket today. Then we merged it. So we are done with it.",
       "We closed the ticket today, then we merged it, so we are done with it.",
       "We closed the ticket today. Then we merged it. So we are done with it."},
  };
  for (const auto& c : cases) EXPECT_EQ(restoreSentenceBreaks(c.source, c.cleaned), c.expected) << c.what;
}

TEST(RestoreSentenceBreaks, LeavesUnclearBreaksAlone) {
  const Case cases[] = {
      {"a short sentence in progress", "Yes I agree. Then we go now.", "Yes I agree, then we go now.", ""},
      {"not a sentence starter", "I finished the report. Tomorrow we can ship it.",
       "I finished the report, tomorrow we can ship it.", ""},
      {"two places match", "I finished the report. Then we can ship it.",
       "I finished the report, then we can go. The report, then we can ship.", ""},
      {"already split", "I finished the report. Then we can ship it.", "I finished the report. Then we can ship it.",
       ""},
      {"not a whole word before the break", "We need the well-known. Then we can ship it.",
       "We need the well-known, then we can ship it.", ""},
      {"a line feed ends the sentence in progress", "Notes\nthe report. Then we can ship it.",
       "Notes\nthe report, then we can ship it.", ""},
      {"a curly apostrophe in the cleanup", "I finished the report. It's done now.",
       "I finished the report, it’s done now.", ""},
      {"part of a longer word", "I finished the report. Then we can ship it.",
       "I finished the subreport, then we can shipit.", ""},
      {"no marks", "i finished the report then we can ship it", "I finished the report, then we can ship it.", ""},
      // U+0345 case-folds to iota, so ignoring case it counts as a letter
      // before the word.
      {"a letter's case variant before the word", "I finished the report. Then we can ship it.",
       "I finished the \u0345report, then we can ship it.", ""},
      {"empty", "", "", ""},
      {"only punctuation", "... !!! ???", "?!", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(restoreSentenceBreaks(c.source, c.cleaned), c.cleaned) << c.what;
  }
}

TEST(Restorers, AnswerAnyInput) {
  const std::string inputs[] = {
      "", " ", "\n\n", "...", "!!! ??? ...", "\xFF\xFE\xFD. \xC3", "😀. 😀! 😀?", std::string(4, '\0'),
      "- a\n- b", "\\E\\Q$1( [. ", std::string(3000, '.'), "A. B. C. D. E. F. G.",
  };
  const std::vector<std::string> dictionary = {"", "\\E", "(", "$1", "C++", "😀", "a"};
  for (const auto& source : inputs) {
    for (const auto& cleaned : inputs) {
      (void)restoreDroppedSentences(source, cleaned);
      (void)restoreDictionaryWords(source, cleaned, dictionary);
      (void)restoreSentenceBreaks(source, cleaned);
    }
    // Nothing to restore into itself.
    EXPECT_EQ(restoreDroppedSentences(source, source), source);
    EXPECT_EQ(restoreSentenceBreaks(source, source), source);
  }
  // An unchanged text comes back byte for byte, even when it is not valid UTF-8.
  const std::string broken = "We shipped \xFF the build.";
  EXPECT_EQ(restoreDroppedSentences("We shipped. The build.", broken), broken);
  EXPECT_EQ(restoreDictionaryWords("kubernetes", broken, {"Kubernetes"}), broken);
  EXPECT_EQ(restoreSentenceBreaks("x", broken), broken);
}

}  // namespace
}  // namespace quorvel::TextHelpers
