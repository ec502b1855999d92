// Shortcuts first, then the keyboard devices.
#include "platform/linux/PreferredKeys.h"

#include "support/Log.h"

namespace quorvel {

PreferredKeys::PreferredKeys(std::unique_ptr<PortalShortcuts> portal, MakeFallback makeFallback)
    : portal_(std::move(portal)), makeFallback_(std::move(makeFallback)) {
  portal_->onUnavailable([this](const std::string& why) {
    logLine("Quorvel: hearing the keys from the keyboard devices instead (" + why + ")");
    switchToFallback();
  });
}

PreferredKeys::~PreferredKeys() {
  // The portal first: its thread may be switching over.
  portal_.reset();
  std::shared_ptr<KeySource> fallback;
  {
    std::scoped_lock lock(mutex_);
    fallback = fallback_;
  }
  if (fallback) fallback->stop();
}

void PreferredKeys::switchToFallback() {
  std::shared_ptr<KeySource> fallback;
  Handler handler;
  {
    std::scoped_lock lock(mutex_);
    if (!fallback_ && makeFallback_) {
      fallback_ = makeFallback_();
      // The user's chosen keys, not the device source's defaults.
      if (fallback_) fallback_->setBinding(binding());
    }
    fallback = fallback_;
    if (running_) handler = handler_;
  }
  if (fallback && handler) (void)fallback->start(handler);
}

bool PreferredKeys::start(Handler handler) {
  std::shared_ptr<KeySource> fallback;
  {
    std::scoped_lock lock(mutex_);
    handler_ = handler;
    running_ = true;
    fallback = fallback_;
  }
  if (fallback) return fallback->start(std::move(handler));
  return portal_->start(std::move(handler));
}

void PreferredKeys::stop() {
  std::shared_ptr<KeySource> fallback;
  {
    std::scoped_lock lock(mutex_);
    running_ = false;
    fallback = fallback_;
  }
  if (fallback) fallback->stop();
  else portal_->stop();
}

void PreferredKeys::setBinding(KeyBinding binding) {
  std::shared_ptr<KeySource> fallback;
  {
    std::scoped_lock lock(mutex_);
    KeySource::setBinding(binding);
    fallback = fallback_;
  }
  if (fallback) fallback->setBinding(binding);
}

bool PreferredKeys::isDown(ShellKey key) {
  std::shared_ptr<KeySource> fallback;
  {
    std::scoped_lock lock(mutex_);
    fallback = fallback_;
  }
  return fallback ? fallback->isDown(key) : portal_->isDown(key);
}

std::string PreferredKeys::problem() const {
  std::shared_ptr<KeySource> fallback;
  {
    std::scoped_lock lock(mutex_);
    fallback = fallback_;
  }
  return fallback ? fallback->problem() : std::string();
}

bool PreferredKeys::needsPermission() const {
  std::shared_ptr<KeySource> fallback;
  {
    std::scoped_lock lock(mutex_);
    fallback = fallback_;
  }
  return fallback && fallback->needsPermission();
}

bool PreferredKeys::portalInUse() const {
  std::scoped_lock lock(mutex_);
  return !fallback_;
}

}  // namespace quorvel
