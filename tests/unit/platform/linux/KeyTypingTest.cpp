// Typing key by key: the exact events for a few characters, Shift and AltGr,
// the characters a layout can't type, and the layouts xkbcommon reads.
#include "platform/linux/KeyTyping.h"

#include <gtest/gtest.h>

#include "platform/linux/KeyLayoutXkb.h"

namespace quorvel {
namespace {

struct Key {
  unsigned short type, code;
  int value;
  bool operator==(const Key&) const = default;
};

std::vector<Key> flat(const TypingPlan& plan) {
  std::vector<Key> keys;
  for (const auto& group : plan.keys) {
    for (const input_event& e : group) keys.push_back({e.type, e.code, e.value});
  }
  return keys;
}

// Press and release with its reports.
std::vector<Key> tap(unsigned short code) {
  return {{EV_KEY, code, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, code, 0}, {EV_SYN, SYN_REPORT, 0}};
}
std::vector<Key> hold(unsigned short code, bool down) { return {{EV_KEY, code, down ? 1 : 0}, {EV_SYN, SYN_REPORT, 0}}; }
std::vector<Key> join(std::initializer_list<std::vector<Key>> parts) {
  std::vector<Key> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

KeyLayout germanLike() {
  KeyLayout layout;
  layout.name = "test";
  layout.keys = {{U'a', {KEY_A, false, false}}, {U'A', {KEY_A, true, false}}, {U'@', {KEY_Q, false, true}},
                 {U' ', {KEY_SPACE, false, false}}, {U'z', {KEY_Y, false, false}}};
  return layout;
}

TEST(KeyTyping, PlainShiftedAndAltGrCharactersTypeExactly) {
  const TypingPlan plan = planTyping("aA@", germanLike(), false);
  ASSERT_TRUE(plan.typeable());
  EXPECT_EQ(plan.keys.size(), 3u);  // one group per character, paused between
  EXPECT_EQ(flat(plan), join({tap(KEY_A),
                              hold(KEY_LEFTSHIFT, true), tap(KEY_A), hold(KEY_LEFTSHIFT, false),
                              hold(KEY_RIGHTALT, true), tap(KEY_Q), hold(KEY_RIGHTALT, false)}));
}

TEST(KeyTyping, TheLayoutsOwnKeysAreUsed) {
  EXPECT_EQ(flat(planTyping("z", germanLike(), false)), tap(KEY_Y));
}

TEST(KeyTyping, ACharacterTheLayoutLacksTypesNothingAtAll) {
  const TypingPlan plan = planTyping("a € a ✓ €", germanLike(), false);
  EXPECT_FALSE(plan.typeable());
  EXPECT_TRUE(plan.keys.empty());  // never half a dictation
  EXPECT_EQ(plan.untypeable, U"€✓");
  EXPECT_EQ(describeCharacters(plan.untypeable), "€, ✓");
}

TEST(KeyTyping, LineBreaksAreEnterButNeverInATerminal) {
  EXPECT_EQ(flat(planTyping("a\na", germanLike(), false)), join({tap(KEY_A), tap(KEY_ENTER), tap(KEY_A)}));
  EXPECT_EQ(flat(planTyping("a\r\n", germanLike(), false)), join({tap(KEY_A), tap(KEY_ENTER)}));
  EXPECT_EQ(flat(planTyping("a\tz", germanLike(), false)), join({tap(KEY_A), tap(KEY_TAB), tap(KEY_Y)}));
  const TypingPlan terminal = planTyping("a\na", germanLike(), true);
  EXPECT_FALSE(terminal.typeable());
  EXPECT_EQ(describeCharacters(terminal.untypeable), "line break");
}

TEST(KeyTyping, BrokenTextIsRefusedNotMisread) {
  const TypingPlan plan = planTyping(std::string("a\xC3", 2), germanLike(), false);
  EXPECT_EQ(plan.untypeable, U"\uFFFD");
}

TEST(KeyLayoutXkb, ReadsTheRealLayouts) {
  const KeyLayout us = layoutNamed("us");
  if (us.keys.empty()) GTEST_SKIP() << "no XKB data (xkb-data) on this machine";
  EXPECT_EQ(us.keys.at(U'a'), (KeyStroke{KEY_A, false, false}));
  EXPECT_EQ(us.keys.at(U'A'), (KeyStroke{KEY_A, true, false}));
  EXPECT_EQ(us.keys.at(U'@'), (KeyStroke{KEY_2, true, false}));
  EXPECT_EQ(us.keys.at(U'1'), (KeyStroke{KEY_1, false, false}));  // not the keypad's
  EXPECT_FALSE(us.keys.contains(U'€'));
  EXPECT_EQ(us.vKey(), KEY_V);

  const KeyLayout de = layoutNamed("de");
  EXPECT_EQ(de.keys.at(U'z'), (KeyStroke{KEY_Y, false, false}));
  EXPECT_EQ(de.keys.at(U'@'), (KeyStroke{KEY_Q, false, true}));
  EXPECT_EQ(de.keys.at(U'€'), (KeyStroke{KEY_E, false, true}));
  EXPECT_EQ(de.keys.at(U'ä'), (KeyStroke{KEY_APOSTROPHE, false, false}));
  EXPECT_EQ(de.altGrKey, KEY_RIGHTALT);

  EXPECT_EQ(layoutNamed("us", "dvorak").vKey(), KEY_DOT);
  EXPECT_TRUE(layoutNamed("no-such-layout").keys.empty());
}

TEST(KeyLayoutXkb, TellsWhereRightAltIsAltGr) {
  if (layoutNamed("us").keys.empty()) GTEST_SKIP() << "no XKB data (xkb-data) on this machine";
  struct Case {
    const char* layout;
    const char* variant;
    int key;
    bool altGr;
  };
  const Case cases[] = {
      {"de", "", KEY_RIGHTALT, true},   {"pl", "", KEY_RIGHTALT, true},    {"fr", "", KEY_RIGHTALT, true},
      {"se", "", KEY_RIGHTALT, true},   {"us", "altgr-intl", KEY_RIGHTALT, true},
      {"us", "", KEY_RIGHTALT, false},  {"gb", "", KEY_RIGHTALT, true},    {"de", "", KEY_RIGHTCTRL, false},
      {"de", "", KEY_COMPOSE, false},   {"us", "", KEY_RIGHTCTRL, false},  {"de", "", 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(keyIsAltGrIn(c.layout, c.variant, c.key), c.altGr) << c.layout << "(" << c.variant << ") " << c.key;
  }
}

}  // namespace
}  // namespace quorvel
