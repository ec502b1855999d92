// Work slots: how many work requests a stand-in serves at once. The real
// servers decode one request per slot (whisper-server one, llama-server
// "-np"), and a request that finds them all busy waits its turn.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "StopFlag.h"

namespace quorvel::standin {

class WorkSlots;

// Holds one slot until destroyed.
class SlotHold {
 public:
  explicit SlotHold(WorkSlots& slots) : slots_(slots) {}
  ~SlotHold();
  SlotHold(const SlotHold&) = delete;
  SlotHold& operator=(const SlotHold&) = delete;

 private:
  WorkSlots& slots_;
};

// Thread-safe. Must outlive every SlotHold it hands out.
class WorkSlots {
 public:
  explicit WorkSlots(int count) : free_(count < 1 ? 1 : count) {}
  WorkSlots(const WorkSlots&) = delete;
  WorkSlots& operator=(const WorkSlots&) = delete;

  // Waits for a free slot; absent when `stop` is raised first or after
  // `patience` (the stop flag is checked every 50 ms).
  std::shared_ptr<SlotHold> acquire(const StopFlag& stop, std::chrono::milliseconds patience);

 private:
  friend class SlotHold;
  void release();

  std::mutex mutex_;
  std::condition_variable freed_;
  int free_;  // guarded by mutex_
};

}  // namespace quorvel::standin
