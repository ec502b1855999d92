// The three sounds through libcanberra, as events of the desktop's sound
// theme (freedesktop names), played by the sound server. A desktop without a
// sound server or without the theme is silent: the failure is logged once and
// never reaches the user.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "app/desktop/Sounds.h"

struct ca_context;

namespace quorvel {

class SoundsCanberra : public Sounds {
 public:
  // Told when a sound has finished or failed (tests); any thread.
  using Finished = std::function<void(SoundName, bool played)>;

  SoundsCanberra() = default;
  explicit SoundsCanberra(Finished finished) : finished_(std::move(finished)) {}
  ~SoundsCanberra() override;
  SoundsCanberra(const SoundsCanberra&) = delete;
  SoundsCanberra& operator=(const SoundsCanberra&) = delete;

  void play(SoundName sound) override;

  // The theme's event id of each sound.
  static const char* eventId(SoundName sound);

 private:
  // REQUIRES: mutex_ held.
  bool openLocked();
  // Runs once per play that started, on the library's thread.
  static void whenDone(ca_context* context, std::uint32_t id, int result, void* self);
  void report(std::uint32_t id, bool played);

  std::mutex mutex_;
  ca_context* context_ = nullptr;  // guarded by mutex_
  bool loggedFailure_ = false;     // guarded by mutex_
  std::chrono::steady_clock::time_point nextTry_{};  // guarded by mutex_
  std::uint32_t nextId_ = 1;        // guarded by mutex_
  Finished finished_;

  std::mutex pendingMutex_;
  std::map<std::uint32_t, SoundName> pending_;  // guarded by pendingMutex_
};

}  // namespace quorvel
