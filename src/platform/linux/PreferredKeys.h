// The keys heard through the desktop's global shortcuts where it offers them,
// and through the keyboard devices (evdev) once it turns out it doesn't, the
// user cancels the desktop's dialog or the desktop ends the shortcuts. The
// fallback is made only when needed, so a portal user needs no group.
//
// Threading: as KeySource; the switch happens on the portal's thread.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "app/desktop/KeySource.h"
#include "platform/linux/PortalShortcuts.h"

namespace quorvel {

class PreferredKeys : public KeySource {
 public:
  using MakeFallback = std::function<std::unique_ptr<KeySource>()>;

  PreferredKeys(std::unique_ptr<PortalShortcuts> portal, MakeFallback makeFallback);
  ~PreferredKeys() override;

  bool start(Handler handler) override;
  void stop() override;
  bool isDown(ShellKey key) override;
  std::string problem() const override;
  bool needsPermission() const override;
  void setBinding(KeyBinding binding) override;

  // Whether the shortcuts are (or may still become) the way keys are heard.
  bool portalInUse() const;

 private:
  void switchToFallback();

  std::unique_ptr<PortalShortcuts> portal_;
  MakeFallback makeFallback_;
  mutable std::mutex mutex_;
  Handler handler_;                     // guarded by mutex_; the last one started
  bool running_ = false;                // guarded by mutex_
  std::shared_ptr<KeySource> fallback_;  // guarded by mutex_; set once
};

}  // namespace quorvel
