// Work slots: how many work requests a stand-in serves at once. The real
// servers decode one request per slot (whisper-server one, llama-server
// "-np"), and a request that finds them all busy waits its turn.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "StopFlag.h"

namespace quorvel::standin {

class WorkSlots;

// Holds one slot until destroyed.
class SlotHold {
 public:
  SlotHold(WorkSlots& slots, int index) : slots_(slots), index_(index) {}
  ~SlotHold();
  SlotHold(const SlotHold&) = delete;
  SlotHold& operator=(const SlotHold&) = delete;

  // Which slot, from 0.
  int index() const { return index_; }

 private:
  WorkSlots& slots_;
  const int index_;
};

// Thread-safe. Must outlive every SlotHold it hands out.
class WorkSlots {
 public:
  explicit WorkSlots(int count);
  WorkSlots(const WorkSlots&) = delete;
  WorkSlots& operator=(const WorkSlots&) = delete;

  // Waits for a free slot; absent when `stop` is raised first or after
  // `patience` (the stop flag is checked every 50 ms). Among free slots the
  // one `preference` scores highest is taken, ties going to the slot used
  // least recently. `preference` is called under the slots' lock.
  std::shared_ptr<SlotHold> acquire(const StopFlag& stop, std::chrono::milliseconds patience,
                                    const std::function<std::size_t(int)>& preference = {});

 private:
  friend class SlotHold;
  void release(int index);

  std::mutex mutex_;
  std::condition_variable freed_;
  std::vector<bool> busy_;                 // guarded by mutex_
  std::vector<std::uint64_t> lastTaken_;   // guarded by mutex_
  std::uint64_t taken_ = 0;                // guarded by mutex_
};

}  // namespace quorvel::standin
