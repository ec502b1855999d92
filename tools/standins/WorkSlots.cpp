// Numbered work slots.
#include "WorkSlots.h"

namespace quorvel::standin {

SlotHold::~SlotHold() { slots_.release(index_); }

WorkSlots::WorkSlots(int count)
    : busy_(static_cast<std::size_t>(count < 1 ? 1 : count), false), lastTaken_(busy_.size(), 0) {}

std::shared_ptr<SlotHold> WorkSlots::acquire(const StopFlag& stop, std::chrono::milliseconds patience,
                                             const std::function<std::size_t(int)>& preference) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  std::unique_lock lock(mutex_);
  for (;;) {
    int chosen = -1;
    std::size_t best = 0;
    for (std::size_t i = 0; i < busy_.size(); ++i) {
      if (busy_[i]) continue;
      const std::size_t score = preference ? preference(static_cast<int>(i)) : 0;
      if (chosen < 0 || score > best ||
          (score == best && lastTaken_[i] < lastTaken_[static_cast<std::size_t>(chosen)])) {
        chosen = static_cast<int>(i);
        best = score;
      }
    }
    if (chosen >= 0) {
      busy_[static_cast<std::size_t>(chosen)] = true;
      lastTaken_[static_cast<std::size_t>(chosen)] = ++taken_;
      return std::make_shared<SlotHold>(*this, chosen);
    }
    if (stop.raised() || std::chrono::steady_clock::now() >= deadline) return nullptr;
    freed_.wait_for(lock, std::chrono::milliseconds(50));
  }
}

void WorkSlots::release(int index) {
  {
    std::scoped_lock lock(mutex_);
    busy_[static_cast<std::size_t>(index)] = false;
  }
  freed_.notify_one();
}

}  // namespace quorvel::standin
