// The keyboard the Wayland paster types through: the remote desktop portal
// first, and the uinput virtual keyboard when the portal is missing, refused
// or taken back (made only then, so a portal user never needs /dev/uinput).
// When neither works, the log says what the user can do.
//
// Threading: write() on the paster's writing threads (one at a time); way()
// and the queries from any thread.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/linux/DeviceProblem.h"
#include "platform/linux/PortalTyping.h"
#include "platform/linux/UinputKeyboard.h"

namespace quorvel {

class PreferredKeyboard : public KeyEventSink {
 public:
  using MakeFallback = std::function<std::unique_ptr<KeyEventSink>(DeviceProblem& problem)>;

  // portal: may be nothing (no portal on this desktop).
  PreferredKeyboard(std::shared_ptr<PortalTyping> portal, MakeFallback makeFallback);

  bool write(const std::vector<input_event>& events) override;
  std::string way() const override;

  // Whether the portal is (or will be, once asked) the way keys go.
  bool portalInUse() const;
  // Why the fallback keyboard can't be made, once it was needed ("" before).
  DeviceProblem fallbackProblem() const;

 private:
  bool portalUsable() const;
  KeyEventSink* fallback();

  std::shared_ptr<PortalTyping> portal_;
  MakeFallback makeFallback_;
  mutable std::mutex mutex_;
  std::unique_ptr<KeyEventSink> fallback_;  // guarded by mutex_; made on first need
  DeviceProblem fallbackProblem_;           // guarded by mutex_
  bool saidFallback_ = false;               // guarded by mutex_
};

}  // namespace quorvel
