// Counting work slots.
#include "WorkSlots.h"

namespace quorvel::standin {

SlotHold::~SlotHold() { slots_.release(); }

std::shared_ptr<SlotHold> WorkSlots::acquire(const StopFlag& stop, std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  std::unique_lock lock(mutex_);
  while (free_ == 0) {
    if (stop.raised() || std::chrono::steady_clock::now() >= deadline) return nullptr;
    freed_.wait_for(lock, std::chrono::milliseconds(50));
  }
  --free_;
  return std::make_shared<SlotHold>(*this);
}

void WorkSlots::release() {
  {
    std::scoped_lock lock(mutex_);
    ++free_;
  }
  freed_.notify_one();
}

}  // namespace quorvel::standin
