// The three sounds on the test desktop's sound server, and silence without one.
#include "platform/linux/SoundsCanberra.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "FieldsApp.h"
#include "TestSupport.h"
#include "support/Log.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;

class Outcomes {
 public:
  SoundsCanberra::Finished recorder() {
    return [this](SoundName sound, bool played) {
      std::scoped_lock lock(mutex_);
      played_[sound] = played;
      changed_.notify_all();
    };
  }
  std::map<SoundName, bool> waitForAll(size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, 15s, [&] { return played_.size() >= count; });
    return played_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<SoundName, bool> played_;
};

const SoundName allSounds[] = {SoundName::tink, SoundName::basso, SoundName::glass};

TEST(SoundsCanberra, PlaysTheThemeSoundsOnTheSoundServerWithoutWaiting) {
  if (!testing::insideDesktopSession()) GTEST_SKIP() << "needs scripts/desktop-session";
  Outcomes outcomes;
  SoundsCanberra sounds(outcomes.recorder());
  const auto started = std::chrono::steady_clock::now();
  for (SoundName sound : allSounds) sounds.play(sound);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);  // no waiting for a sound to end
  const auto played = outcomes.waitForAll(3);
  ASSERT_EQ(played.size(), 3u);
  for (const auto& [sound, ok] : played) EXPECT_TRUE(ok) << SoundsCanberra::eventId(sound);
}

TEST(SoundsCanberra, IsSilentWithoutASoundServerAndSaysSoOnce) {
  testing::ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/pulse/native");
  LogCapture log;
  Outcomes outcomes;
  SoundsCanberra sounds(outcomes.recorder());
  for (SoundName sound : allSounds) sounds.play(sound);
  const auto played = outcomes.waitForAll(3);
  ASSERT_EQ(played.size(), 3u);
  for (const auto& [sound, ok] : played) EXPECT_FALSE(ok);
  int lines = 0;
  for (const auto& line : log.lines()) lines += line.find("Quorvel: no sounds") == 0;
  EXPECT_EQ(lines, 1);
}

}  // namespace
}  // namespace quorvel
