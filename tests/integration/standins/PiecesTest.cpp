// The stand-ins' plain functions: tokens, the dictation, WAV shapes, scripts.
#include <gtest/gtest.h>

#include <sstream>

#include "Chat.h"
#include "PromptCache.h"
#include "Script.h"
#include "TestSupport.h"
#include "Wav.h"

namespace quorvel::standin {
namespace {

TEST(StandinPieces, TokensAreWordsWithTheSpaceBeforeThemAndJoinBackExactly) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
      {"", {}},
      {"Hi", {"Hi"}},
      {"Hi there.", {"Hi", " there."}},
      {"  lead and trail  ", {"  lead", " and", " trail  "}},
      {"line\nbreak\t tab", {"line", "\nbreak", "\t tab"}},
      {"   ", {"   "}},
      {"naïve café", {"naïve", " café"}},
  };
  for (const auto& [text, tokens] : cases) {
    EXPECT_EQ(splitTokens(text), tokens) << text;
    std::string joined;
    for (const auto& token : splitTokens(text)) joined += token;
    EXPECT_EQ(joined, text);
    EXPECT_EQ(countWords(text), text.find_first_not_of(" \n\t") == std::string::npos ? 0u : tokens.size()) << text;
  }
}

TEST(StandinPieces, ThePromptCacheCountsWordsAndRespectsMessageBoundaries) {
  using Messages = std::vector<ChatMessage>;
  const auto tokens = [](const Messages& messages) { return promptTokens(messages); };
  const Messages asked{{"system", "Clean it."}, {"user", "one two"}};
  struct Case {
    Messages held, prompt;
    std::size_t words, cached;
  };
  const Case cases[] = {
      {{}, asked, 4, 0},
      {asked, asked, 4, 3},  // the last token is read again
      {asked, {{"system", "Clean it."}, {"user", "one two three"}}, 5, 4},
      {asked, {{"system", "Clean it."}, {"assistant", "one two"}}, 4, 2},  // same words, another role
      {{{"system", "Clean"}, {"user", "it. one two"}}, asked, 4, 1},        // same words, other messages
      {asked, {{"system", "Clean  it."}, {"user", "one two"}}, 4, 1},       // white space is part of a token
      {{{"user", "   "}}, {{"user", ""}}, 0, 0},
  };
  for (const Case& c : cases) {
    const PromptReading reading = readPrompt(tokens(c.held), tokens(c.prompt));
    EXPECT_EQ(reading.words, c.words) << c.prompt.back().text;
    EXPECT_EQ(reading.cached, c.cached) << c.prompt.back().text;
    EXPECT_EQ(reading.evaluated(), c.words - c.cached);
  }
  // A word that looks like a role marker is still a word.
  EXPECT_EQ(readPrompt({}, tokens({{"user", "ruser wuser"}})).words, 2u);
}

TEST(StandinPieces, TheDictationIsTheLastUserMessageAfterItsLastLabel) {
  using Messages = std::vector<ChatMessage>;
  EXPECT_EQ(dictationOf(Messages{{"system", "Dictation: no"}, {"user", "plain words"}}), "plain words");
  EXPECT_EQ(dictationOf(Messages{{"user", "first"}, {"assistant", "x"}, {"user", "Field: a\nDictation: b"}}), "b");
  EXPECT_EQ(dictationOf(Messages{{"user", "Dictation: one Dictation: two"}}), "two");
  EXPECT_EQ(dictationOf(Messages{{"user", "last user"}, {"assistant", "after"}}), "last user");
  EXPECT_EQ(dictationOf(Messages{{"system", "only a system message"}}), "");
}

TEST(StandinPieces, WavShapesWalkTheChunks) {
  auto le = [](std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    return out;
  };
  auto fmt = [&](int channels, int rate, int bits) {
    return "fmt " + le(16, 4) + le(1, 2) + le(channels, 2) + le(rate, 4) + le(rate * channels * bits / 8, 4) +
           le(channels * bits / 8, 2) + le(bits, 2);
  };
  auto riff = [&](const std::string& chunks) { return "RIFF" + le(chunks.size() + 4, 4) + "WAVE" + chunks; };

  const auto stereo = readWavShape(riff(fmt(2, 48000, 16) + "data" + le(4800 * 4, 4) + std::string(4800 * 4, '\0')));
  ASSERT_TRUE(stereo);
  EXPECT_EQ(stereo->samples, 4800u);
  EXPECT_DOUBLE_EQ(stereo->seconds(), 0.1);

  const auto noFmt = readWavShape(riff("data" + le(10, 4) + std::string(10, '\0')));
  ASSERT_TRUE(noFmt);
  EXPECT_EQ(noFmt->samples, 5u);

  // A data size larger than the file (a recorder that never finished the header).
  const auto open = readWavShape(riff(fmt(1, 16000, 16) + "data" + le(0xFFFFFFFF, 4) + std::string(6, '\0')));
  ASSERT_TRUE(open);
  EXPECT_EQ(open->samples, 3u);

  EXPECT_FALSE(readWavShape(""));
  EXPECT_FALSE(readWavShape("RIFF"));
  EXPECT_FALSE(readWavShape(riff(fmt(1, 16000, 16))));                      // no data chunk
  EXPECT_FALSE(readWavShape(riff("junk" + le(0xFFFFFFF0, 4) + "data")));     // a chunk running past the end
  EXPECT_FALSE(readWavShape(riff(fmt(0, 16000, 16) + "data" + le(2, 4) + "ab")));  // zero channels
}

TEST(StandinPieces, ScriptLinesWithBadMembersAreSkippedWithANote) {
  testing::TempDir dir;
  const auto path = dir / "script.jsonl";
  testing::writeTextFile(path,
                         "{\"text\": \"a\", \"delay_ms\": 5, \"fault\": \"drop\"}\n"
                         "{\"text\": \"b\", \"delay_ms\": -1}\n"
                         "{\"text\": \"c\", \"fault\": \"explode\"}\n"
                         "[\"text\"]\n"
                         "{\"match\": \"m\", \"answer\": \"n\", \"delay_ms\": 7}\n");
  std::ostringstream notes;
  const auto transcripts = loadTranscriptCues(path.string(), notes);
  ASSERT_EQ(transcripts.size(), 1u);
  EXPECT_EQ(transcripts[0].text, "a");
  EXPECT_EQ(transcripts[0].delayMs, 5);
  EXPECT_EQ(transcripts[0].fault, Fault::drop);
  EXPECT_NE(notes.str().find("line 2"), std::string::npos);
  EXPECT_NE(notes.str().find("line 3"), std::string::npos);
  EXPECT_NE(notes.str().find("line 4"), std::string::npos);
  EXPECT_EQ(notes.str().find("line 5"), std::string::npos);

  std::ostringstream llamaNotes;
  const auto answers = loadAnswerCues(path.string(), llamaNotes);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].answer, "n");
  EXPECT_EQ(answers[0].delayMs, 7);

  std::ostringstream missingNotes;
  EXPECT_TRUE(loadAnswerCues((dir / "missing.jsonl").string(), missingNotes).empty());
  EXPECT_NE(missingNotes.str().find("cannot read the script"), std::string::npos);
}

}  // namespace
}  // namespace quorvel::standin
