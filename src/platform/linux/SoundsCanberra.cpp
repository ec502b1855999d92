// Named sounds through libcanberra and the freedesktop sound theme.
#include "platform/linux/SoundsCanberra.h"

#include <canberra.h>

#include "support/Log.h"

namespace quorvel {
namespace {

// After a failed connection the sound server is asked again only this late,
// so a desktop without one costs nothing per sound.
constexpr std::chrono::seconds retryAfter{30};

}  // namespace

const char* SoundsCanberra::eventId(SoundName sound) {
  switch (sound) {
    case SoundName::tink: return "message-new-instant";
    case SoundName::basso: return "dialog-error";
    case SoundName::glass: return "complete";
  }
  return "bell";
}

void SoundsCanberra::whenDone(ca_context*, std::uint32_t id, int result, void* self) {
  static_cast<SoundsCanberra*>(self)->report(id, result == CA_SUCCESS);
}

// Each play is reported once: by the library when it ran, or by play() when
// it never started.
void SoundsCanberra::report(std::uint32_t id, bool played) {
  SoundName sound;
  {
    std::scoped_lock lock(pendingMutex_);
    auto found = pending_.find(id);
    if (found == pending_.end()) return;
    sound = found->second;
    pending_.erase(found);
  }
  if (finished_) finished_(sound, played);
}

SoundsCanberra::~SoundsCanberra() {
  std::scoped_lock lock(mutex_);
  if (context_ != nullptr) ca_context_destroy(context_);  // cancels what still plays
}

bool SoundsCanberra::openLocked() {
  if (context_ != nullptr) return true;
  const auto now = std::chrono::steady_clock::now();
  if (now < nextTry_) return false;
  ca_context* context = nullptr;
  int result = ca_context_create(&context);
  if (result == CA_SUCCESS) {
    ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "Quorvel",
                            CA_PROP_APPLICATION_ID, "quorvel", nullptr);
    result = ca_context_open(context);
  }
  if (result != CA_SUCCESS) {
    if (context != nullptr) ca_context_destroy(context);
    nextTry_ = now + retryAfter;
    if (!loggedFailure_) {
      loggedFailure_ = true;
      logLine(std::string("Quorvel: no sounds: ") + ca_strerror(result));
    }
    return false;
  }
  context_ = context;
  return true;
}

void SoundsCanberra::play(SoundName sound) {
  std::scoped_lock lock(mutex_);
  if (!openLocked()) {
    if (finished_) finished_(sound, false);
    return;
  }
  ca_proplist* props = nullptr;
  if (ca_proplist_create(&props) != CA_SUCCESS) return;
  ca_proplist_sets(props, CA_PROP_EVENT_ID, eventId(sound));
  ca_proplist_sets(props, CA_PROP_CANBERRA_CACHE_CONTROL, "permanent");
  const std::uint32_t id = nextId_++;
  {
    std::scoped_lock pendingLock(pendingMutex_);
    pending_[id] = sound;
  }
  const int result = ca_context_play_full(context_, id, props, whenDone, this);
  ca_proplist_destroy(props);
  if (result != CA_SUCCESS) {
    report(id, false);
    if (!loggedFailure_) {
      loggedFailure_ = true;
      logLine(std::string("Quorvel: cannot play a sound: ") + ca_strerror(result));
    }
  }
}

}  // namespace quorvel
