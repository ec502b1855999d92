// Made-up dictations for the guard and restorer benchmarks: a raw transcript
// with fillers and lower-case sentences, and a cleanup of it the way a small
// model writes one (fillers gone, capitals, a few words changed, now and then
// a sentence dropped or two sentences merged).
#pragma once

#include <random>
#include <string>
#include <vector>

namespace quorvel::bench {

struct DictationSample {
  std::string raw;
  std::string cleaned;
  std::vector<std::string> names;  // the user's dictionary, a few of them said
};

// `words` words of cleaned text; the raw transcript adds about one filler in
// fourteen words. With `edits`, every 15th sentence is dropped from the
// cleanup and every 11th merged into the one before with a comma.
inline DictationSample makeDictation(int words, bool edits, unsigned seed = 3) {
  static const char* vocabulary[] = {
      "we",       "shipped",  "the",      "build",    "today",    "and",      "numbers",  "look",
      "great",    "so",       "next",     "week",     "should",   "move",     "launch",   "to",
      "friday",   "because",  "design",   "review",   "needs",    "more",     "time",     "i",
      "think",    "customer", "support",  "will",     "ask",      "about",    "invoice",  "layout",
      "after",    "release",  "please",   "send",     "me",       "notes",    "from",     "meeting",
      "with",     "team",     "tomorrow", "morning",  "it",       "was",      "a",        "good",
      "call",     "they",     "want",     "new",      "pricing",  "page",     "before",   "end",
      "of",       "quarter",  "our",      "backend",  "migration", "is",      "almost",   "done",
      "database", "server",   "staging",  "deploy",   "tests",    "passed",   "on",       "monday",
      "budget",   "draft",    "update",   "billing",  "service",  "marketing", "plan",    "slides",
  };
  static const char* starters[] = {"then", "so", "but", "it's", "we", "i", "also", "maybe"};
  static const char* fillers[] = {"um", "uh", "like", "so"};
  static const char* syllables[] = {"pro", "ver", "tal", "mon", "ic", "san", "dor", "el", "gra", "fen",
                                    "lo", "bri", "cas", "tum", "ar", "ne", "vis", "ko", "rel", "dam"};
  static const char* names[] = {"Kubernetes", "Priya",   "Dana",    "Omar",   "Zoë",
                                "Giuseppe",   "Marguerite", "Kowalski", "Nakamura", "Olufemi",
                                "Quorvel",    "Grafana"};
  std::mt19937 random(seed);
  // Rarer words, so that a sentence's words are not all found elsewhere in a
  // long text, as in real speech.
  std::vector<std::string> rare;
  for (int i = 0; i < 2000; ++i) {
    std::string word;
    for (int part = 0, parts = 2 + static_cast<int>(random() % 2); part < parts; ++part) {
      word += syllables[random() % 20];
    }
    rare.push_back(word);
  }
  auto nextWord = [&]() -> std::string {
    return random() % 5 < 2 ? rare[random() % rare.size()] : vocabulary[random() % 80];
  };
  auto capitalised = [](std::string word) {
    if (!word.empty() && word[0] >= 'a' && word[0] <= 'z') word[0] = static_cast<char>(word[0] - 32);
    return word;
  };
  DictationSample sample;
  for (const char* name : names) sample.names.push_back(name);

  int count = 0;
  int sentence = 0;
  while (count < words) {
    const int length = 8 + static_cast<int>(random() % 8);
    // The first word differs at once, so the alignment has no shared start to skip.
    std::string rawSentence = sentence == 0 ? "Um" : "";
    std::string cleanSentence;
    const bool drop = edits && sentence % 15 == 7;
    const bool merge = edits && sentence % 11 == 4;
    for (int i = 0; i < length && count < words; ++i, ++count) {
      std::string word = i == 0 ? capitalised(starters[random() % 8]) : nextWord();
      std::string cleanWord = word;
      if (i == 3 && sentence % 6 == 2) {
        word = names[random() % 12];  // a name said...
        cleanWord = word;
        if (sentence % 12 == 2) cleanWord = "Cooper Nettie's";  // ...and misheard by the model
        for (char& c : word) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      } else if (i == 5 && sentence % 4 == 1) {
        cleanWord = "certainly";  // a word the model changed
      }
      if (random() % 14 == 0) rawSentence += std::string(rawSentence.empty() ? "" : " ") + fillers[random() % 4];
      rawSentence += (rawSentence.empty() ? "" : " ") + word;
      cleanSentence += (cleanSentence.empty() ? "" : " ") + cleanWord;
    }
    sample.raw += (sample.raw.empty() ? "" : " ") + rawSentence + ".";
    if (!drop) {
      if (merge && !sample.cleaned.empty() && sample.cleaned.back() == '.') {
        sample.cleaned.back() = ',';
        cleanSentence[0] = static_cast<char>(cleanSentence[0] >= 'A' && cleanSentence[0] <= 'Z' ? cleanSentence[0] + 32 : cleanSentence[0]);
      }
      sample.cleaned += (sample.cleaned.empty() ? "" : " ") + cleanSentence + ".";
    }
    ++sentence;
  }
  return sample;
}

}  // namespace quorvel::bench
