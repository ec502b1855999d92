// Tidying raw speech-server output: tags, sound labels, dashes and whitespace.
#include "text/TextHelpers.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel::TextHelpers {
namespace {

struct Case {
  std::string input;
  std::string expected;
};

TEST(Normalize, RemovesTagsAndTidiesWhitespace) {
  const Case cases[] = {
      {"", ""},
      {" \n\t ", ""},
      {"[BLANK_AUDIO]", ""},
      {"[BLANK_AUDIO] (silence) [Music] (MUSIC playing)", ""},
      {"hello [noise] world", "hello world"},
      {"(Silence) ok (inaudible words) fine (blank_audio)", "ok fine"},
      {"(laughs) stays for the sound-label step", "(laughs) stays for the sound-label step"},
      {"  many\n\nlines\tand   spaces  ", "many lines and spaces"},
      {"- dash first", "dash first"},
      {"—– en and em dashes", "en and em dashes"},
      {"— — only the first run goes", "— only the first run goes"},
      {"[tag] - after a tag", "after a tag"},
      {"keeps - inner - dashes", "keeps - inner - dashes"},
      {"unclosed [bracket stays", "unclosed [bracket stays"},
      {"(music", "(music"},
      {"café [x] naïve 日本 😀", "café naïve 日本 😀"},
      {"bad \xC3\x28 byte", "bad \xEF\xBF\xBD( byte"},
  };
  for (const auto& c : cases) EXPECT_EQ(normalize(c.input), c.expected) << c.input;
}

TEST(DropSoundLabels, RemovesSoundsAndKeepsSpeech) {
  const Case cases[] = {
      {"", ""},
      {"(laughs) okay so", "okay so"},
      {"[MUSIC] hi", "hi"},
      {"(Sarah) said", "(Sarah) said"},
      {"[this is five words long] kept", "[this is five words long] kept"},
      {"[four words only here] kept", "[four words only here] kept"},
      {"[FOUR WORDS ONLY HERE] gone", "gone"},
      {"and *sighs* then", "and then"},
      {"*clapping* - next", "next"},
      {"so (door slams) he left", "so he left"},
      {"(Laughter) (applause) done", "done"},
      {"A (B) one letter label stays", "A (B) one letter label stays"},
      {"(OK) all capitals go", "all capitals go"},
      {"(background_noise) gone", "gone"},
      {"(dog's bark) gone", "gone"},
      {"♪ la la ♪ song", "la la song"},
      {"- leading dash", "leading dash"},
      {"(x1) digits are no label", "(x1) digits are no label"},
      {"(café) non-ASCII is no label", "(café) non-ASCII is no label"},
      {"😀 (coughs) 😀", "😀 😀"},
      {"line\n(sighs)\nnext", "line next"},
  };
  for (const auto& c : cases) EXPECT_EQ(dropSoundLabels(c.input), c.expected) << c.input;
}

TEST(DropSoundLabels, LongTranscriptStaysWhole) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "word (laughs) ";
  std::string expected;
  for (int i = 0; i < 2000; ++i) expected += i ? " word" : "word";
  EXPECT_EQ(dropSoundLabels(text), expected);
}

}  // namespace
}  // namespace quorvel::TextHelpers
