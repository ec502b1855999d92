// The cleanup guards: plausibility, kept share, invented words, meaning,
// names, stems and the disfluency test, and whole decisions on answers a small
// model really gives.
#include "text/CleanupGuards.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorvel::TextHelpers {
namespace {

using Words = std::set<std::string>;
using Names = std::vector<std::string>;

struct PairCase {
  std::string raw;
  std::string cleaned;
  bool expected;
};

constexpr const char* kTwentyThreeWords =
    "we should ship the build to staging tonight and then tell the whole team that the release notes are "
    "ready for review tomorrow";

TEST(Plausible, BoundsTheWordCount) {
  const PairCase cases[] = {
      {"we should ship the build", "", false},              // nothing left
      {"we should ship the build", "   \n", false},
      {"we should ship the build", "We should ship the build, we should ship it.", true},  // 9 <= 9.75
      {"we should ship the build", "We should ship the build, we should ship the build.", false},  // 10
      {"ship the build to staging and then tell the whole team", "Ship the build.", false},  // 3 < 4.4
      {"ship the build to staging and then tell the team", "Ship the build to staging.", true},  // 5 >= 4
      // 40 % of 23 words is 9.2: nine words are just too few, ten enough.
      {kTwentyThreeWords, "We should ship the build to staging tonight, team.", false},
      {kTwentyThreeWords, "We should ship the build to staging tonight, then review.", true},
  };
  for (const auto& c : cases) EXPECT_EQ(plausible(c.raw, c.cleaned, 0.0), c.expected) << c.cleaned;
}

TEST(Plausible, RefusesAnswersThatReply) {
  const PairCase cases[] = {
      {"can you send me the report by friday", "Sure, here is the cleaned text: send me the report by Friday.", false},
      {"can you send me the report by friday", "Sure! I'll send you the report by Friday.", false},
      {"here is the plan for friday", "Here is the plan for Friday.", false},  // a plain prefix test
      {"surely not", "Surely not.", false},
      {"of course we can ship it", "Of course we can ship it.", false},
      {"i'm sorry i missed the call", "I'm sorry I missed the call.", false},
      {"can you send me the report by friday", "Can you send me the report by Friday?", true},
      {"i am sure it works", "I am sure it works.", true},
  };
  for (const auto& c : cases) EXPECT_EQ(plausible(c.raw, c.cleaned), c.expected) << c.cleaned;
}

TEST(Plausible, NeedsTheKeptShare) {
  // Four content words of which the cleanup keeps two.
  EXPECT_DOUBLE_EQ(keptRatio("deploy staging server tonight", "Deploy server."), 0.5);
  EXPECT_TRUE(plausible("deploy staging server tonight", "Deploy server.", 0.5));
  EXPECT_FALSE(plausible("deploy staging server tonight", "Deploy server.", 0.65));
  EXPECT_FALSE(plausible("deploy staging server tonight", "Deploy server."));  // default 0.65
}

TEST(KeptRatio, CountsContentWordsOnly) {
  struct Case {
    std::string raw;
    std::string cleaned;
    double ratio;
  } cases[] = {
      {"so it is what it is", "Nothing at all", 1.0},  // no content words in raw
      {"", "", 1.0},
      {"the server crashed again", "The server crashed.", 2.0 / 3.0},
      {"THE SERVER CRASHED", "the server crashed", 1.0},  // compared lower-cased
      {"really would actually basically", "", 1.0},       // common words are not content
      {"server server server", "Nothing.", 0.0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(keptRatio(c.raw, c.cleaned), c.ratio) << c.raw;
}

TEST(ContentWords, AreLongUncommonTokens) {
  struct Case {
    std::string text;
    Words words;
  } cases[] = {
      {"", {}},
      {"I'd say that this build, really, works fine!", {"build", "works", "fine"}},
      {"Let's make sure we're done", {"done"}},                    // "let", "make", "sure" are short or common
      {"Straße über Café-Bar 2024", {"straße", "über", "café", "2024"}},
      {"e\u0301cole", {"e\u0301cole"}},                           // a combining accent stays in its word
      {"abc😀def ...!!!", {}},                                       // emoji separate tokens
  };
  for (const auto& c : cases) EXPECT_EQ(contentWords(c.text), c.words) << c.text;
}

TEST(InventedWords, KnowsJoinedTokensStemsAndNearSpellings) {
  struct Case {
    std::string raw;
    std::string cleaned;
    Words invented;
  } cases[] = {
      {"write it in my note book", "Write it in my notebook.", {}},
      {"put it on the white board today", "Put it on the whiteboard today.", {}},
      {"i walked home", "I was walking home.", {}},                // same stem "walk"
      {"we make plans", "We are making plans.", {}},               // "making" and "make" share "mak"
      {"she studies physics", "She studied physics.", {}},         // "stud"
      {"the check in desk", "The checkin desk.", {}},              // two tokens run together
      {"log in to the admin page", "Log into the adminpage.", {}},
      {"the plans are good", "The planning is good.", {"planning"}},  // "plann" against "plan"
      {"send the recieved files", "Send the received files.", {}},  // within 2 edits
      {"we met at the cafe", "We met at the café.", {}},            // one edit
      {"call the vendor", "Call the supplier tomorrow.", {"supplier", "tomorrow"}},
      {"", "Completely new sentence here.", {"completely", "sentence", "here"}},
  };
  for (const auto& c : cases) EXPECT_EQ(inventedWords(c.raw, c.cleaned), c.invented) << c.cleaned;
}

TEST(InventsWords, NeedsTwoWordsAndAQuarter) {
  const PairCase cases[] = {
      {"call the vendor", "Call the supplier tomorrow.", true},     // 2 of 3
      {"call the vendor now", "Call the vendor supplier.", false},  // only 1
      // 2 invented of 10 content words: fewer than a quarter
      {"review the budget draft numbers before friday morning meeting",
       "Review the budget draft numbers before Friday morning meeting with finance leadership.", false},
      // 3 of 11 is enough
      {"review the budget draft numbers before friday morning meeting",
       "Review the budget draft numbers before Friday morning meeting with finance leadership urgently.",
       true},
  };
  for (const auto& c : cases) EXPECT_EQ(inventsWords(c.raw, c.cleaned), c.expected) << c.cleaned;
}

TEST(ChangesMeaning, LosingAPersonOrGreetingUnasked) {
  const PairCase cases[] = {
      {"I think we should ship it", "You think we should ship it", true},
      {"I think we should ship it", "I think we should ship it today", false},
      {"we should ship it", "I think we should ship it", false},  // adding a person is allowed
      {"tell him the plan", "Tell them the plan.", true},
      {"ask her about it", "Ask about it.", true},
      {"thanks for the update", "Hi! Thanks for the update.", true},
      {"hi thanks for the update", "Hi! Thanks for the update.", false},
      {"high five for the update", "Hi! Thanks for the update.", false},  // a heard "hi"
      {"thanks for the update", "Thanks for the update.\nHello from the team.", true},
      {"thanks for the update", "Thanks for the update. Say hello to the team.", false},
      {"thanks for the update", "Thanks... 3 Hey there.", true},  // the first run of letters
      // apostrophe forms: the part before the apostrophe decides, either apostrophe
      {"I’m sure we’re fine", "You're sure we're fine.", true},
      {"I’m not sure", "I'm not sure.", false},
      {"let's ship it", "Ship it.", true},  // "let's" is "we"
      {"lets ship it", "Ship it.", false},
      {"y'all should come", "You all should come.", false},
      {"y’all should come", "Everyone should come.", true},
      {"", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(changesMeaning(c.raw, c.cleaned), c.expected) << c.raw << " -> " << c.cleaned;
}

TEST(NameGuards, AddedWhenNeverSaidDroppedWhenLost) {
  const Names names = {"Priya", "Kubernetes"};
  EXPECT_TRUE(addsNames("Send the deck to Priya and the team.", "send the deck to the team", names));
  EXPECT_FALSE(addsNames("Send the deck to Priya.", "send the deck to pria", names));  // heard differently
  EXPECT_FALSE(addsNames("Send the deck to the team.", "send the deck to the team", names));

  EXPECT_TRUE(dropsNames("Send the deck to the team.", "send the deck to priya", names));
  EXPECT_FALSE(dropsNames("Send the deck to PRIYA.", "send the deck to priya", names));
  // A speaker who corrects himself may take the name back.
  EXPECT_FALSE(dropsNames("Send the deck to the team.", "send the deck to priya actually the team", names));
  EXPECT_FALSE(dropsNames("Send it to Sam.", "send it to priya no wait sam", names));
  EXPECT_FALSE(dropsNames("Send it.", "send it to priya, sorry", names));
  EXPECT_FALSE(dropsNames("", "", {}));
  EXPECT_FALSE(dropsNames("text", "said", {""}));
}

TEST(NeedsCleanup, FindsDisfluencies) {
  struct Case {
    std::string text;
    bool needed;
  } cases[] = {
      {"so so good", true},  // a doubled word
      {"a, b, c, d", true},  // three commas
      {"a, b, c", false},
      {"um I think so", true},
      {"Hmmm okay", true},
      {"the umbrella is here", false},
      {"No wait, Tuesday", true},
      {"I MEAN it", true},
      {"scratch that", true},
      {"you know the drill", true},
      {"it was like, huge", true},
      {"I like it", false},
      {"make a list", true},
      {"new paragraph please", true},
      {"the new line cook", true},
      {"Send the report to Dana by Friday.", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(needsCleanup(c.text), c.needed) << c.text;
}

TEST(WordStem, RemovesOneSuffixThenAFinalE) {
  struct Case {
    std::string word;
    std::string stem;
  } cases[] = {
      {"quickly", "quick"},
      {"sings", "sing"},       // "ings" would leave one character
      {"uses", "use"},         // "es" would leave two; "use" is too short to lose its "e"
      {"bed", "bed"},
      {"walked", "walk"},
      {"walking", "walk"},
      {"amazingly", "amaz"},
      {"studied", "stud"},
      {"stories", "stor"},
      {"planning", "plann"},
      {"makes", "mak"},        // "es" first, then nothing more
      {"make", "mak"},
      {"faster", "fast"},
      {"things", "thing"},     // "ings" would leave "th"
      {"ëes", "ëes"},          // no suffix leaves more than two characters
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(wordStem(c.word), c.stem) << c.word;
}

// --- Whole decisions on answers a small model gives -----------------------------

struct ModelCase {
  const char* what;
  std::string raw;
  std::string answer;
  Names names;
  Names dictionary;
  double minKept;
  std::optional<std::string> expected;
};

TEST(UsableCleanup, DecidesOnRealAnswers) {
  const ModelCase cases[] = {
      {"a faithful cleanup", "um so we shipped the build today and uh the numbers look great",
       "We shipped the build today and the numbers look great.", {}, {}, 0.65,
       "We shipped the build today and the numbers look great."},
      {"an answer that replies", "can you send me the quarterly report by friday",
       "Sure! Here's the quarterly report you asked for.", {}, {}, 0.5, std::nullopt},
      {"a summary",
       "so first we need to migrate the database then we update the billing service and after that "
       "we tell customer support about the new invoice layout before the release on monday",
       "Migrate the database, update billing, notify support before Monday's release.", {}, {}, 0.5,
       std::nullopt},
      {"a translated name, not in the dictionary", "ask giuseppe about the invoice",
       "Ask Joseph about the invoice.", {"Giuseppe"}, {}, 0.5, std::nullopt},
      {"a translated name the dictionary puts back", "ask giuseppe about the invoice",
       "Ask Joseph about the invoice.", {"Giuseppe"}, {"Giuseppe"}, 0.5, "Ask Giuseppe about the invoice."},
      {"an added greeting", "thanks for sending the slides over",
       "Hi! Thanks for sending the slides over.", {}, {}, 0.5, std::nullopt},
      {"a name nobody said", "send the deck to the team", "Send the deck to Priya and the team.",
       {"Priya"}, {"Priya"}, 0.5, std::nullopt},
      {"a phonetic dictionary word", "deploy it on kubernetes now", "Deploy it on Cooper Nettie's now.",
       {"Kubernetes"}, {"Kubernetes"}, 0.65, "Deploy it on Kubernetes now."},
      {"I turned into you", "I think we should ship it on monday", "You think we should ship it on Monday.",
       {}, {}, 0.5, std::nullopt},
      {"a dropped middle sentence is usable; the restorer puts it back later",
       "we shipped the new build to staging today. tell dana the numbers look great. thanks for all "
       "the work on the release.",
       "We shipped the new build to staging today. Thanks for all the work on the release.", {}, {}, 0.5,
       "We shipped the new build to staging today. Thanks for all the work on the release."},
      {"a dropped sentence that carried most of the content",
       "we shipped the build today. tell dana the numbers look great. thanks.",
       "We shipped the build today. Thanks.", {}, {}, 0.5, std::nullopt},
      {"a self-correction carried out", "send it to priya no wait send it to sam",
       "Send it to Sam.", {"Priya", "Sam"}, {"Priya", "Sam"}, 0.5, "Send it to Sam."},
      {"curly apostrophes in the answer", "i don't think it's ready yet",
       "I don’t think it’s ready yet.", {}, {}, 0.65, "I don’t think it’s ready yet."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(usableCleanup(c.raw, c.answer, c.names, c.dictionary, c.minKept), c.expected) << c.what;
  }
}

TEST(UsableCleanup, CleanupKeepsJudgesTheAnswerAsItStands) {
  // Without the dictionary restoration the phonetic spelling invents words
  // and loses the name.
  EXPECT_FALSE(cleanupKeeps("deploy it on kubernetes now", "Deploy it on Cooper Nettie's now.", {"Kubernetes"}));
  EXPECT_TRUE(cleanupKeeps("deploy it on kubernetes now", "Deploy it on Kubernetes now.", {"Kubernetes"}));
}

TEST(Guards, AnswerAnyInput) {
  const std::string inputs[] = {
      "", " ", "...", "!!!???", "\xFF\xFE\xFD", "\xC3", "😀😀😀", std::string(3, '\0'),
      "\\E\\Q$1(", "ÿ̸̡̛͔͚͕̠̹̓̈́̓̀͆͛͝", std::string(5000, ','),
  };
  const Names names = {"", "\\E", "(", "$1", "C++", "Zoë"};
  for (const auto& a : inputs) {
    for (const auto& b : inputs) {
      (void)usableCleanup(a, b, names, names);
      (void)cleanupKeeps(a, b, names);
      (void)plausible(a, b);
      (void)keptRatio(a, b);
      (void)inventedWords(a, b);
      (void)changesMeaning(a, b);
      (void)addsNames(a, b, names);
      (void)dropsNames(a, b, names);
    }
    (void)needsCleanup(a);
    (void)contentWords(a);
    (void)wordStem(a);
  }
  EXPECT_FALSE(usableCleanup("", "", {}, {}).has_value());  // an empty answer is never usable
  EXPECT_TRUE(plausible("...", "!!!"));  // one whitespace-separated word each, nothing else to judge
}

}  // namespace
}  // namespace quorvel::TextHelpers
