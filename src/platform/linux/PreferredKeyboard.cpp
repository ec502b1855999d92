// Portal first, then the virtual keyboard.
#include "platform/linux/PreferredKeyboard.h"

#include "support/Log.h"

namespace quorvel {

PreferredKeyboard::PreferredKeyboard(std::shared_ptr<PortalTyping> portal, MakeFallback makeFallback)
    : portal_(std::move(portal)), makeFallback_(std::move(makeFallback)) {}

bool PreferredKeyboard::portalUsable() const {
  if (!portal_) return false;
  switch (portal_->consent()) {
    case TypingConsent::given: return true;
    case TypingConsent::notAsked: return !portal_->refusedBefore();
    default: return false;
  }
}

bool PreferredKeyboard::portalInUse() const { return portalUsable(); }

DeviceProblem PreferredKeyboard::fallbackProblem() const {
  std::scoped_lock lock(mutex_);
  return fallbackProblem_;
}

KeyEventSink* PreferredKeyboard::fallback() {
  std::scoped_lock lock(mutex_);
  if (!fallback_ && makeFallback_) {
    fallback_ = makeFallback_(fallbackProblem_);
    if (fallback_) fallbackProblem_.clear();
  }
  return fallback_.get();
}

bool PreferredKeyboard::write(const std::vector<input_event>& events) {
  if (portalUsable()) {
    if (portal_->write(events)) return true;
    // A plain failure while the permission stands is the portal's: trying the
    // same keys on a second keyboard could type them twice.
    if (portal_->consent() == TypingConsent::given) return false;
  }
  KeyEventSink* keys = fallback();
  {
    std::scoped_lock lock(mutex_);
    if (!saidFallback_ || !keys) {
      saidFallback_ = keys != nullptr;
      const std::string why = !portal_ ? "there is no remote desktop portal"
                                       : "the remote desktop portal is " +
                                             std::string(typingConsentName(portal_->consent()));
      if (keys) {
        logLine("Quorvel: typing through the virtual keyboard (" + why + ")");
      } else {
        logLine("Quorvel: cannot type into other windows: " + why + ", and " + fallbackProblem_.text +
                ". Allow typing from Set Up Quorvel, or join the input group (see the permissions in Quorvel's "
                "window)");
      }
    }
  }
  return keys != nullptr && keys->write(events);
}

std::string PreferredKeyboard::way() const {
  if (portalUsable()) return portal_->way();
  std::scoped_lock lock(mutex_);
  return fallback_ ? fallback_->way() : std::string("the virtual keyboard");
}

}  // namespace quorvel
