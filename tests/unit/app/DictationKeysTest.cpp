// The chosen dictation and note keys: the stored choice and the first
// launch's pick, AltGr as the dictation key (a character typed with it
// cancels the recording without a trace), tap for hands-free, and learning
// "a key I press" — all on a fake clock.
#include <gtest/gtest.h>

#include "app/desktop/DictationKeys.h"
#include "app/tray/StatusMenu.h"
#include "tests/unit/app/ShellFixture.h"
#include "support/Settings.h"

namespace quorvel::testing {
namespace {

constexpr int kQ = 16;      // KEY_Q
constexpr int kShift = 42;  // KEY_LEFTSHIFT
constexpr int kF9 = 67;

KeyEvent other(int code, bool down, bool modifier = false) { return {ShellKey::other, down, modifier, code}; }

class DictationKeysStore : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
  UserDefaults defaults;
};

TEST_F(DictationKeysStore, TheStoredChoiceIsReadBackAndBadValuesFallBack) {
  EXPECT_EQ(storedBinding(defaults), (KeyBinding{keycode::rightAlt, keycode::rightSuper}));
  struct Case {
    const char* name;
    Json dictation;
    Json note;
    KeyBinding expected;
  };
  const Case cases[] = {
      {"right Ctrl and Menu", 97, 127, {97, 127}},
      {"a learned key", kF9, 126, {kF9, 126}},
      {"a mouse side button", keycode::mouseBack, 126, {keycode::mouseBack, 126}},
      {"not a number", "right Ctrl", true, {100, 126}},
      {"out of range", -4, 100000, {100, 126}},
      {"the left mouse button", 0x110, 126, {100, 126}},
      {"Esc (it cancels learning)", 1, 126, {100, 126}},
      {"the same key twice", 126, 126, {126, 127}},
      {"the same key twice, not Super", 97, 97, {97, 126}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(defaults.set(Settings::dictationKey.key, c.dictation).ok());
    ASSERT_TRUE(defaults.set(Settings::noteKey.key, c.note).ok());
    EXPECT_EQ(storedBinding(defaults), c.expected);
  }
}

TEST_F(DictationKeysStore, AChoiceNeverTakesTheOtherPartsKey) {
  EXPECT_FALSE(storeKey(defaults, ShellKey::dictation, keycode::rightSuper));  // the note's
  EXPECT_FALSE(storeKey(defaults, ShellKey::note, keycode::rightAlt));         // dictation's
  EXPECT_FALSE(storeKey(defaults, ShellKey::note, 0x110));                     // a left click
  EXPECT_FALSE(defaults.contains(Settings::dictationKey.key));
  EXPECT_TRUE(storeKey(defaults, ShellKey::dictation, keycode::menu));
  EXPECT_TRUE(storeKey(defaults, ShellKey::note, keycode::rightAlt));  // free now
  EXPECT_EQ(storedBinding(defaults), (KeyBinding{keycode::menu, keycode::rightAlt}));
}

TEST_F(DictationKeysStore, TheFirstLaunchAvoidsAltGrAndSaysWhyOnce) {
  EXPECT_TRUE(pickFirstDictationKey(defaults, true));
  EXPECT_EQ(storedBinding(defaults).dictation, keycode::rightCtrl);
  EXPECT_NE(altGrChoiceNote(defaults).find("right Ctrl"), std::string::npos);
  // Later launches keep the choice, whatever the layout says then.
  EXPECT_FALSE(pickFirstDictationKey(defaults, false));
  EXPECT_EQ(storedBinding(defaults).dictation, keycode::rightCtrl);
  // Once the user picks another key, onboarding no longer explains.
  ASSERT_TRUE(storeKey(defaults, ShellKey::dictation, keycode::rightAlt));
  EXPECT_EQ(altGrChoiceNote(defaults), "");

  TempDir other;
  ScopedEnv elsewhere{"XDG_CONFIG_HOME", (other / "config").string()};
  UserDefaults fresh;
  EXPECT_TRUE(pickFirstDictationKey(fresh, false));
  EXPECT_EQ(storedBinding(fresh).dictation, keycode::rightAlt);
  EXPECT_EQ(altGrChoiceNote(fresh), "");
}

TEST(DictationKeyNames, NamesForTheOfferedKeysAndTheRest) {
  EXPECT_EQ(keyName(keycode::rightAlt), "right Alt");
  EXPECT_EQ(keyName(keycode::rightCtrl), "right Ctrl");
  EXPECT_EQ(keyName(keycode::menu), "Menu");
  EXPECT_EQ(keyName(kF9), "F9");
  EXPECT_EQ(keyName(keycode::mouseForward), "mouse forward button");
  EXPECT_EQ(keyName(240), "key 240");
  EXPECT_EQ(hintLine({keycode::rightCtrl, keycode::menu}), "Hold right Ctrl to dictate · tap Menu for a note");
}

using DictationKeyControl = ShellTest;

TEST_F(DictationKeyControl, TheFirstLaunchPicksRightCtrlWhereRightAltIsAltGr) {
  altGrKeys = {keycode::rightAlt};  // a German layout
  launchReady();
  EXPECT_EQ(keys.binding().dictation, keycode::rightCtrl);
  EXPECT_EQ(UserDefaults().integerValue(Settings::dictationKey.key), keycode::rightCtrl);
  EXPECT_EQ(app->statusFacts().keys.dictation, keycode::rightCtrl);
}

TEST_F(DictationKeyControl, TheFirstLaunchKeepsRightAltWhereItIsNotAltGr) {
  launchReady();  // a US layout: nothing is AltGr
  EXPECT_EQ(keys.binding(), (KeyBinding{keycode::rightAlt, keycode::rightSuper}));
  EXPECT_EQ(UserDefaults().integerValue(Settings::dictationKey.key), keycode::rightAlt);
}

TEST_F(DictationKeyControl, ACharacterTypedWithAltGrCancelsWithoutATrace) {
  set(Settings::dictationKey.key, keycode::rightAlt);  // the user keeps AltGr
  altGrKeys = {keycode::rightAlt};
  launchReady();
  struct Case {
    const char* name;
    double before;  // held this long before the character
  };
  // Within the wait nothing shows; later the tag and sound already went, and
  // the recording still ends unlogged.
  const Case cases[] = {{"at once", 0.0}, {"within the wait", 0.1}, {"after a second", 1.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sounds.played.clear();
    tag.shown.clear();
    press();
    ASSERT_TRUE(app->isRecording());
    speak(*mic, speechFor(c.before + 0.5));
    loop.advance(c.before);
    app->handleKey(other(kQ, true));
    EXPECT_FALSE(app->isRecording());
    app->handleKey(other(kQ, false));
    loop.advance(0.5);  // still held: the poll starts nothing again
    EXPECT_FALSE(app->isRecording());
    release();
    loop.advance(0.5);
    settle();
    EXPECT_FALSE(app->isRecording());
    if (c.before < kAltGrGraceSeconds) {
      EXPECT_TRUE(sounds.played.empty());
      EXPECT_FALSE(tag.showed(TagMode::recording));
    }
    EXPECT_FALSE(tag.showed(TagMode::transcribing));
    EXPECT_EQ(engine.lineCount(), 0u);
    EXPECT_TRUE(paster.pasted.empty());
    EXPECT_EQ(app->state(), AppState::idle);
  }
  // A plain hold records, its sound and tag a moment late.
  sounds.played.clear();
  tag.shown.clear();
  press();
  speak(*mic, speechFor(1.2));
  loop.advance(0.1);
  EXPECT_TRUE(sounds.played.empty());
  EXPECT_FALSE(tag.showed(TagMode::recording));
  app->handleKey(other(kShift, true, true));  // Shift alone types nothing
  loop.advance(0.1);
  EXPECT_EQ(sounds.played, std::vector<SoundName>{SoundName::tink});
  EXPECT_TRUE(tag.showed(TagMode::recording));
  loop.advance(1.0);
  app->handleKey(other(kShift, false, true));
  release();
  settle();
  EXPECT_EQ(engine.lineCount(), 1u);
}

TEST_F(DictationKeyControl, WhereTheKeyIsNotAltGrOtherKeysNeitherWaitNorCancel) {
  set(Settings::dictationKey.key, keycode::rightCtrl);
  altGrKeys = {keycode::rightAlt};
  launchReady();
  EXPECT_EQ(keys.binding().dictation, keycode::rightCtrl);
  press();
  EXPECT_EQ(sounds.played, std::vector<SoundName>{SoundName::tink});  // at once
  EXPECT_TRUE(tag.showed(TagMode::recording));
  speak(*mic, speechFor(1.2));
  app->handleKey(other(kQ, true));
  loop.advance(1.2);
  EXPECT_TRUE(app->isRecording());
  release();
  settle();
  EXPECT_EQ(engine.lineCount(), 1u);
}

TEST_F(DictationKeyControl, ATapStartsHandsFreeUntilTheNextTapWhenSwitchedOn) {
  set(Settings::tapForHandsFree.key, true);
  launchReady();
  press();
  loop.advance(0.2);
  release();
  EXPECT_TRUE(app->isRecording());
  EXPECT_TRUE(app->handsFreeRecording());
  speak(*mic, speechFor(2.0));
  loop.advance(2.0);  // the poll sees the key up all along and lets it run
  EXPECT_TRUE(app->isRecording());
  press();  // the next tap ends it at once
  EXPECT_FALSE(app->isRecording());
  loop.advance(0.2);
  loop.advance(0.3);  // the key is still down: nothing new starts
  EXPECT_FALSE(app->isRecording());
  release();
  loop.advance(0.5);
  settle();
  EXPECT_FALSE(app->isRecording());
  EXPECT_EQ(engine.lineCount(), 1u);

  // Holding works as always.
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_FALSE(app->isRecording());
  EXPECT_EQ(engine.lineCount(), 2u);
}

TEST_F(DictationKeyControl, WithoutTheSettingATapRecordsNothing) {
  launchReady();
  press();
  speak(*mic, speechFor(0.2));
  loop.advance(0.2);
  release();
  EXPECT_FALSE(app->isRecording());
  loop.advance(1.0);
  settle();
  EXPECT_EQ(engine.lineCount(), 0u);
}

TEST_F(DictationKeyControl, ALearnedKeyGoesToTheSettingsAndStartsNothing) {
  launchReady();
  std::vector<int> learned;
  app->learnKey([&](int code) { learned.push_back(code); });
  keys.down = true;
  app->handleKey({ShellKey::dictation, true, true, keycode::rightAlt});
  loop.advance(0.5);  // the poll sees right Alt held, and leaves it to the settings
  EXPECT_FALSE(app->isRecording());
  ASSERT_EQ(learned, std::vector<int>{keycode::rightAlt});
  // The learned key is let go before it dictates again.
  loop.advance(0.5);
  EXPECT_FALSE(app->isRecording());
  release();
  loop.advance(0.1);

  app->learnKey([&](int code) { learned.push_back(code); });
  app->handleKey(other(keycode::escape, true));
  app->learnKey([&](int code) { learned.push_back(code); });
  loop.advance(11);  // nothing pressed
  EXPECT_EQ(learned, (std::vector<int>{keycode::rightAlt, 0, 0}));

  // A new choice reaches the key source and the menu's hint at once.
  SharedBridge bridge = app->makeBridge();
  EXPECT_TRUE(bridge->chooseKey(ShellKey::dictation, kF9));
  EXPECT_EQ(keys.binding().dictation, kF9);
  EXPECT_EQ(bridge->keys().dictation, kF9);
  EXPECT_FALSE(bridge->chooseKey(ShellKey::note, kF9));
  EXPECT_EQ(hintLine(app->statusFacts().keys), "Hold F9 to dictate · tap right Super for a note");
}

}  // namespace
}  // namespace quorvel::testing
