// Typing and keys through the desktop portals, against the portal stand-in on
// a private session bus: the consent given once and restored by its token on
// the next launch, refused, taken back, never answered; the shortcuts bound,
// pressed and let go; and the fallbacks to the keyboard devices and the
// virtual keyboard. No input group, no /dev/uinput and no /dev/input needed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <mutex>

#include "PortalStandin.h"
#include "platform/linux/PasterWayland.h"
#include "platform/linux/PortalBus.h"
#include "platform/linux/PortalProbe.h"
#include "platform/linux/PortalShortcuts.h"
#include "platform/linux/PortalTyping.h"
#include "platform/linux/PreferredKeyboard.h"
#include "platform/linux/PreferredKeys.h"
#include "support/Log.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::PortalStandin;
using testing::PrivateBus;
using testing::waitFor;

// Key presses and releases, as (code, value) pairs.
using Keys = std::vector<std::pair<int, int>>;

Keys keysOf(const std::vector<input_event>& events) {
  Keys keys;
  for (const auto& event : events) {
    if (event.type == EV_KEY) keys.emplace_back(event.code, event.value);
  }
  return keys;
}

Keys notifiedKeys(const PortalStandin& portal) {
  Keys keys;
  for (const auto& call : portal.calls("RemoteDesktop.NotifyKeyboardKeycode")) {
    keys.emplace_back(call.value("code", -1), call.value("state", -1));
  }
  return keys;
}

// The virtual keyboard as the fallback sees it: records, or can't be made.
struct FakeUinput {
  std::mutex mutex;
  Keys written;
  int made = 0;
  bool permitted = true;
  PreferredKeyboard::MakeFallback maker() {
    return [this](DeviceProblem& problem) -> std::unique_ptr<KeyEventSink> {
      std::scoped_lock lock(mutex);
      if (!permitted) {
        problem = {DeviceError::noPermission, "no permission to write /dev/uinput"};
        return nullptr;
      }
      ++made;
      struct Sink : KeyEventSink {
        FakeUinput* owner;
        explicit Sink(FakeUinput* o) : owner(o) {}
        bool write(const std::vector<input_event>& events) override {
          std::scoped_lock lock(owner->mutex);
          for (const auto& key : keysOf(events)) owner->written.push_back(key);
          return true;
        }
      };
      return std::make_unique<Sink>(this);
    };
  }
  Keys keys() {
    std::scoped_lock lock(mutex);
    return written;
  }
};

class PortalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PortalStandin::interfacesInstalled()) {
      GTEST_SKIP() << "needs the portals' interface files (xdg-desktop-portal-dev, scripts/install-deps)";
    }
    ASSERT_FALSE(bus.address().empty()) << testing::readTextFile(dir / "bus.out");
  }
  PortalTyping::Settings typingSettings(std::chrono::milliseconds wait = 10s) const {
    PortalTyping::Settings settings;
    settings.busAddress = bus.address();
    settings.stateFile = dir / "state/quorvel/remote-desktop.json";
    settings.answerWait = wait;
    return settings;
  }
  std::unique_ptr<PortalStandin> standin(std::vector<std::string> arguments = {}) {
    auto portal = std::make_unique<PortalStandin>(bus.address(), dir.path(), std::move(arguments));
    EXPECT_TRUE(portal->ready()) << testing::readTextFile(dir / "portal.out");
    return portal;
  }
  std::optional<Json> keptState() const {
    const auto text = readWholeFile(dir / "state/quorvel/remote-desktop.json");
    return text ? parseJson(*text) : std::nullopt;
  }

  testing::TempDir dir;
  PrivateBus bus{dir.path()};
  const Keys ctrlV = keysOf(pasteChordEvents(PasteChord::ctrlV));
};

TEST_F(PortalTest, TheProbeSeesWhatTheDesktopOffers) {
  ASSERT_FALSE(bus.address().empty());
  PortalOffer nothing = probePortals(bus.address(), 2s);
  EXPECT_EQ(nothing.remoteDesktop, 0U);
  EXPECT_EQ(nothing.globalShortcuts, 0U);
  {
    auto portal = standin();
    const PortalOffer offer = probePortals(bus.address(), 2s);
    EXPECT_EQ(offer.remoteDesktop, 2U);
    EXPECT_EQ(offer.globalShortcuts, 1U);
    EXPECT_TRUE(offer.remoteDesktopKeyboard);
  }
  auto pointerOnly = standin({"--device-types", "2", "--shortcuts-version", "0"});
  const PortalOffer offer = probePortals(bus.address(), 2s);
  EXPECT_FALSE(offer.remoteDesktopKeyboard);
  EXPECT_EQ(offer.globalShortcuts, 0U);
}

// A connection dropped the moment it is made (a probe that finds nothing)
// still ends its thread: the quit must not be lost when it comes before the
// thread's loop has begun to run. A lost one hangs here.
TEST_F(PortalTest, ABusDroppedAsSoonAsItIsMadeEndsItsThread) {
  for (int i = 0; i < 100; ++i) {
    std::string problem;
    auto connection = PortalBus::connect(bus.address(), problem);
    ASSERT_TRUE(connection) << problem;
  }
}

TEST_F(PortalTest, TypingIsAllowedOnceAndTheNextLaunchAsksNothing) {
  auto portal = standin();
  std::string token;
  {
    PortalTyping typing(typingSettings());
    EXPECT_FALSE(typing.allowedBefore());
    EXPECT_EQ(typing.ask(), TypingConsent::given);
    const auto selected = portal->calls("RemoteDesktop.SelectDevices");
    ASSERT_EQ(selected.size(), 1U);
    EXPECT_EQ(selected[0].value("types", 0), 1);  // the keyboard alone
    EXPECT_EQ(selected[0].value("persist_mode", 0), 2);
    EXPECT_EQ(selected[0].value("restore_token", "?"), "");
    ASSERT_EQ(portal->calls("RemoteDesktop.Start").size(), 1U);
    EXPECT_TRUE(portal->calls("RemoteDesktop.Start")[0].value("dialog", false));

    // Kept for the user alone, with the token the desktop handed back.
    struct stat info {};
    ASSERT_EQ(::stat((dir / "state/quorvel/remote-desktop.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);
    const auto kept = keptState();
    ASSERT_TRUE(kept);
    token = stringMember(*kept, "restore_token").value_or("");
    EXPECT_FALSE(token.empty());

    EXPECT_TRUE(typing.write(pasteChordEvents(PasteChord::ctrlV)));
    EXPECT_EQ(notifiedKeys(*portal), ctrlV);
  }
  // The next launch offers the kept token and the desktop shows no dialog;
  // the token, good once, is replaced by the new one.
  PortalTyping again(typingSettings());
  EXPECT_TRUE(again.allowedBefore());
  EXPECT_EQ(again.ask(), TypingConsent::given);
  const auto selected = portal->calls("RemoteDesktop.SelectDevices");
  ASSERT_EQ(selected.size(), 2U);
  EXPECT_EQ(selected[1].value("restore_token", ""), token);
  EXPECT_FALSE(portal->calls("RemoteDesktop.Start")[1].value("dialog", true));
  const auto kept = keptState();
  ASSERT_TRUE(kept);
  EXPECT_NE(stringMember(*kept, "restore_token").value_or(token), token);
}

TEST_F(PortalTest, ADesktopThatKeepsNoPermissionIsAskedWithoutPersistence) {
  auto portal = standin({"--remote-desktop-version", "1"});
  PortalTyping typing(typingSettings());
  EXPECT_EQ(typing.ask(), TypingConsent::given);
  const auto selected = portal->calls("RemoteDesktop.SelectDevices");
  ASSERT_EQ(selected.size(), 1U);
  EXPECT_EQ(selected[0].value("persist_mode", -1), 0);  // not sent: version 1 has no such option
  const auto kept = keptState();
  ASSERT_TRUE(kept);
  EXPECT_EQ(boolMember(*kept, "allowed"), true);
  EXPECT_FALSE(stringMember(*kept, "restore_token"));
}

TEST_F(PortalTest, ARefusalIsKeptAndTypingGoesThroughTheVirtualKeyboard) {
  auto portal = standin({"--typing", "refuse"});
  FakeUinput uinput;
  {
    auto typing = std::make_shared<PortalTyping>(typingSettings());
    PreferredKeyboard keyboard(typing, uinput.maker());
    EXPECT_TRUE(keyboard.portalInUse());
    LogCapture log;
    EXPECT_TRUE(keyboard.write(pasteChordEvents(PasteChord::ctrlV)));
    EXPECT_EQ(typing->consent(), TypingConsent::refused);
    EXPECT_EQ(uinput.keys(), ctrlV);
    EXPECT_TRUE(notifiedKeys(*portal).empty());
    EXPECT_TRUE(log.contains("typing through the virtual keyboard (the remote desktop portal is not allowed)"));
    EXPECT_EQ(keyboard.way(), "the virtual keyboard");
  }
  // Later launches don't ask again by themselves.
  auto typing = std::make_shared<PortalTyping>(typingSettings());
  EXPECT_TRUE(typing->refusedBefore());
  PreferredKeyboard keyboard(typing, uinput.maker());
  EXPECT_FALSE(keyboard.portalInUse());
  EXPECT_TRUE(keyboard.write(pasteChordEvents(PasteChord::ctrlV)));
  EXPECT_EQ(portal->calls("RemoteDesktop.Start").size(), 1U);
  // Asking on purpose (the Allow Typing button) asks again.
  ASSERT_TRUE(portal->control("SetAnswer", {"typing", "allow"}));
  EXPECT_EQ(typing->ask(), TypingConsent::given);
  EXPECT_TRUE(keyboard.write(pasteChordEvents(PasteChord::ctrlV)));
  EXPECT_EQ(notifiedKeys(*portal), ctrlV);
  EXPECT_EQ(boolMember(*keptState(), "refused"), std::nullopt);
}

TEST_F(PortalTest, WithNeitherThePortalNorTheGroupTheLogSaysWhatToDo) {
  auto portal = standin({"--typing", "refuse"});
  FakeUinput uinput;
  uinput.permitted = false;
  PreferredKeyboard keyboard(std::make_shared<PortalTyping>(typingSettings()), uinput.maker());
  LogCapture log;
  EXPECT_FALSE(keyboard.write(pasteChordEvents(PasteChord::ctrlV)));
  EXPECT_TRUE(log.contains("cannot type into other windows: the remote desktop portal is not allowed, and no "
                           "permission to write /dev/uinput. Allow typing from Set Up Quorvel"));
  EXPECT_EQ(keyboard.fallbackProblem().error, DeviceError::noPermission);
}

TEST_F(PortalTest, ConsentTakenBackByTheDesktopFallsBackAtTheNextText) {
  auto portal = standin();
  FakeUinput uinput;
  auto typing = std::make_shared<PortalTyping>(typingSettings());
  PreferredKeyboard keyboard(typing, uinput.maker());
  EXPECT_TRUE(keyboard.write(pasteChordEvents(PasteChord::ctrlV)));
  EXPECT_EQ(uinput.made, 0);  // never needed: no /dev/uinput was touched

  LogCapture log;
  ASSERT_TRUE(portal->control("Revoke"));
  ASSERT_TRUE(waitFor([&] { return typing->consent() == TypingConsent::revoked; }, 5s));
  EXPECT_TRUE(log.contains("the desktop ended the typing permission"));
  EXPECT_TRUE(keyboard.write(pasteChordEvents(PasteChord::ctrlV)));
  EXPECT_EQ(uinput.keys(), ctrlV);
  EXPECT_EQ(notifiedKeys(*portal), ctrlV);  // the first text only
}

TEST_F(PortalTest, AnUnansweredDialogAndAMissingPortalEndInBoundedTime) {
  {
    auto portal = standin({"--typing", "silent"});
    PortalTyping typing(typingSettings(700ms));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(typing.ask(), TypingConsent::unavailable);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_TRUE(waitFor([&] { return !portal->calls("Request.Close").empty(); }, 3s));
    EXPECT_FALSE(keptState());  // nothing was decided
  }
  PortalTyping typing(typingSettings());
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(typing.ask(), TypingConsent::unavailable);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  EXPECT_FALSE(typing.write(pasteChordEvents(PasteChord::ctrlV)));
}

TEST_F(PortalTest, AKeptStateThatIsNotOursIsIgnored) {
  auto portal = standin();
  for (const char* junk : {"", "not json", "[1,2]", R"({"allowed": "yes", "restore_token": 7})",
                           "{\"allowed\": true, \"restore_token\": \"bad token\\n\"}"}) {
    testing::writeTextFile(dir / "state/quorvel/remote-desktop.json", junk);
    PortalTyping typing(typingSettings());
    EXPECT_EQ(typing.ask(), TypingConsent::given) << junk;
    const auto selected = portal->calls("RemoteDesktop.SelectDevices");
    EXPECT_EQ(selected.back().value("restore_token", "?"), "") << junk;
  }
}

// A dictation reaches the focused window with no group and no device: the
// paste chord after the clipboard took the text, or the text key by key when
// there is no clipboard.
TEST_F(PortalTest, ADictationIsPastedThroughThePortal) {
  struct Case {
    bool clipboard;
    Keys expected;
  };
  const Case cases[] = {
      {true, ctrlV},
      {false, {{KEY_H, 1}, {KEY_H, 0}, {KEY_I, 1}, {KEY_I, 0}}},
  };
  for (const Case& c : cases) {
    auto portal = standin();
    FakeUinput uinput;
    uinput.permitted = false;  // no input group
    auto typing = std::make_shared<PortalTyping>(typingSettings());
    PasterWayland::Parts parts;
    parts.makeKeyboard = [&](DeviceProblem&) -> std::unique_ptr<KeyEventSink> {
      return std::make_unique<PreferredKeyboard>(typing, uinput.maker());
    };
    parts.layout = [](std::string& source) {
      source = "a test";
      KeyLayout layout;
      layout.name = "us";
      layout.keys = {{U'h', {KEY_H, false, false}}, {U'i', {KEY_I, false, false}}};
      return layout;
    };
    parts.keyPause = 0ms;
    const bool withClipboard = c.clipboard;
    parts.makeClipboard = [withClipboard](ClipboardHooks hooks) -> std::unique_ptr<Paster> {
      struct Clipboard final : Paster {
        bool present;
        ClipboardHooks hooks;
        Clipboard(bool p, ClipboardHooks h) : present(p), hooks(std::move(h)) {}
        bool paste(const std::string&, PasteChord chord) override { return present && hooks.sendChord(chord); }
        bool copy(const std::string&) override { return present; }
        std::string problem() const override { return present ? "" : "no X display"; }
      };
      return std::make_unique<Clipboard>(withClipboard, std::move(hooks));
    };
    PasterWayland paster(std::move(parts));
    EXPECT_FALSE(paster.needsPermission());
    LogCapture log;
    ASSERT_TRUE(paster.paste("hi", PasteChord::ctrlV));
    ASSERT_TRUE(paster.waitUntilIdle(15s));
    EXPECT_EQ(notifiedKeys(*portal), c.expected) << "clipboard " << c.clipboard;
    EXPECT_EQ(uinput.made, 0);
    EXPECT_TRUE(log.contains("the desktop's remote desktop portal")) << "clipboard " << c.clipboard;
    portal.reset();
  }
}

// Key events as the shortcuts deliver them, with when they came.
struct HeardEvents {
  std::mutex mutex;
  std::vector<std::pair<KeyEvent, std::chrono::steady_clock::time_point>> events;
  KeySource::Handler handler() {
    return [this](const KeyEvent& event) {
      std::scoped_lock lock(mutex);
      events.emplace_back(event, std::chrono::steady_clock::now());
    };
  }
  size_t size() {
    std::scoped_lock lock(mutex);
    return events.size();
  }
  std::pair<KeyEvent, std::chrono::steady_clock::time_point> at(size_t i) {
    std::scoped_lock lock(mutex);
    return events.at(i);
  }
};

TEST_F(PortalTest, BoundShortcutsPressAndLetGoOfTheKeys) {
  auto portal = standin();
  PortalShortcuts::Settings settings;
  settings.busAddress = bus.address();
  settings.answerWait = 10s;
  PortalShortcuts keys(settings);
  HeardEvents heard;
  ASSERT_TRUE(keys.start(heard.handler()));
  ASSERT_TRUE(waitFor([&] { return keys.bound(); }, 10s)) << keys.problem();
  const auto bound = portal->calls("GlobalShortcuts.BindShortcuts");
  ASSERT_EQ(bound.size(), 1U);
  EXPECT_EQ(bound[0]["shortcuts"]["dictate"].value("preferred_trigger", ""), "Alt_R");
  EXPECT_EQ(bound[0]["shortcuts"]["note"].value("preferred_trigger", ""), "Super_R");

  // Hold to talk: the press while held, the release when let go, in order
  // and promptly.
  const auto pressed = std::chrono::steady_clock::now();
  ASSERT_TRUE(portal->control("Activate", {"dictate"}));
  ASSERT_TRUE(waitFor([&] { return heard.size() == 1; }, 3s));
  EXPECT_TRUE(keys.isDown(ShellKey::dictation));
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(portal->control("Deactivate", {"dictate"}));
  ASSERT_TRUE(waitFor([&] { return heard.size() == 2; }, 3s));
  EXPECT_FALSE(keys.isDown(ShellKey::dictation));
  const auto [down, downAt] = heard.at(0);
  const auto [up, upAt] = heard.at(1);
  EXPECT_EQ(down.key, ShellKey::dictation);
  EXPECT_TRUE(down.down);
  EXPECT_EQ(up.key, ShellKey::dictation);
  EXPECT_FALSE(up.down);
  EXPECT_LT(downAt - pressed, 1s);
  EXPECT_GE(upAt - downAt, 250ms);  // the hold is kept, not collapsed into a tap

  // A tap of the note key.
  ASSERT_TRUE(portal->control("Activate", {"note"}));
  ASSERT_TRUE(portal->control("Deactivate", {"note"}));
  ASSERT_TRUE(waitFor([&] { return heard.size() == 4; }, 3s));
  EXPECT_EQ(heard.at(2).first.key, ShellKey::note);
  EXPECT_TRUE(heard.at(2).first.down);
  EXPECT_FALSE(heard.at(3).first.down);

  // Stopped: nothing is delivered; started again: the same binding, no new dialog.
  keys.stop();
  ASSERT_TRUE(portal->control("Activate", {"dictate"}));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(heard.size(), 4U);
  ASSERT_TRUE(keys.start(heard.handler()));
  ASSERT_TRUE(portal->control("Deactivate", {"dictate"}));
  ASSERT_TRUE(waitFor([&] { return heard.size() == 5; }, 3s));
  EXPECT_EQ(portal->calls("GlobalShortcuts.BindShortcuts").size(), 1U);
}

// The fallback for keys: a source that only records what it was given.
struct FakeDevices final : KeySource {
  std::atomic<int>* starts;
  explicit FakeDevices(std::atomic<int>* s) : starts(s) {}
  bool start(Handler) override {
    ++*starts;
    return true;
  }
  void stop() override {}
  bool isDown(ShellKey) override { return false; }
  std::string problem() const override { return {}; }
};

TEST_F(PortalTest, WithoutBoundShortcutsTheKeysComeFromTheKeyboardDevices) {
  struct Case {
    std::vector<std::string> arguments;
    const char* why;
  };
  const std::vector<Case> cases = {
      {{"--shortcuts", "refuse"}, "BindShortcuts: it was not allowed in the desktop's dialog"},
      {{"--shortcuts-version", "0"}, "the desktop does not offer it"},
  };
  for (const Case& c : cases) {
    auto portal = standin(c.arguments);
    std::atomic<int> starts{0};
    PortalShortcuts::Settings settings;
    settings.busAddress = bus.address();
    settings.answerWait = 10s;
    LogCapture log;
    PreferredKeys keys(std::make_unique<PortalShortcuts>(settings),
                       [&starts] { return std::make_unique<FakeDevices>(&starts); });
    HeardEvents heard;
    ASSERT_TRUE(keys.start(heard.handler()));
    ASSERT_TRUE(waitFor([&] { return starts.load() == 1; }, 10s)) << c.why;
    EXPECT_FALSE(keys.portalInUse());
    EXPECT_TRUE(log.contains(c.why)) << c.why;
    EXPECT_TRUE(log.contains("hearing the keys from the keyboard devices instead")) << c.why;
    // Started again later (the application retries): the devices again.
    ASSERT_TRUE(keys.start(heard.handler()));
    EXPECT_EQ(starts.load(), 2);
    portal.reset();
  }
}

// A user who chose other keys keeps them when the keyboard devices take over,
// and a later choice reaches the devices too.
TEST_F(PortalTest, TheKeyboardDevicesHearTheChosenKeys) {
  auto portal = standin({"--shortcuts-version", "0"});
  std::atomic<int> starts{0};
  std::atomic<KeySource*> made{nullptr};
  PortalShortcuts::Settings settings;
  settings.busAddress = bus.address();
  PreferredKeys keys(std::make_unique<PortalShortcuts>(settings), [&] {
    auto devices = std::make_unique<FakeDevices>(&starts);
    made = devices.get();
    return devices;
  });
  const KeyBinding chosen{keycode::rightCtrl, keycode::menu};
  keys.setBinding(chosen);
  HeardEvents heard;
  ASSERT_TRUE(keys.start(heard.handler()));
  ASSERT_TRUE(waitFor([&] { return starts.load() == 1; }, 10s));
  ASSERT_NE(made.load(), nullptr);
  EXPECT_EQ(made.load()->binding(), chosen);
  const KeyBinding later{keycode::mouseBack, keycode::rightSuper};
  keys.setBinding(later);
  EXPECT_EQ(made.load()->binding(), later);
}

TEST_F(PortalTest, ShortcutsTheDesktopEndsFallBackAndLetGoOfAHeldKey) {
  auto portal = standin();
  std::atomic<int> starts{0};
  PortalShortcuts::Settings settings;
  settings.busAddress = bus.address();
  auto shortcuts = std::make_unique<PortalShortcuts>(settings);
  PortalShortcuts* raw = shortcuts.get();
  PreferredKeys keys(std::move(shortcuts), [&starts] { return std::make_unique<FakeDevices>(&starts); });
  HeardEvents heard;
  ASSERT_TRUE(keys.start(heard.handler()));
  ASSERT_TRUE(waitFor([&] { return raw->bound(); }, 10s));
  ASSERT_TRUE(portal->control("Activate", {"dictate"}));
  ASSERT_TRUE(waitFor([&] { return heard.size() == 1; }, 3s));
  ASSERT_TRUE(portal->control("CloseShortcuts"));
  ASSERT_TRUE(waitFor([&] { return starts.load() == 1; }, 10s));
  ASSERT_TRUE(waitFor([&] { return heard.size() == 2; }, 3s));
  EXPECT_FALSE(heard.at(1).first.down);  // the held key was let go
}

}  // namespace
}  // namespace quorvel
