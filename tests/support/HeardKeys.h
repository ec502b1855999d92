// The key events a key source delivers on its own thread, kept in order for
// the test to take one by one.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "app/desktop/KeySource.h"

namespace quorvel::testing {

class HeardKeys {
 public:
  // The handler to start the source with; this object must outlive the source.
  KeySource::Handler handler() {
    return [this](const KeyEvent& event) { add(event); };
  }
  void add(const KeyEvent& event) {
    std::scoped_lock lock(mutex_);
    events_.push_back(event);
    changed_.notify_all();
  }
  // The next event, or nothing within five seconds (a loaded machine can be
  // slow to hand one over; a missing event still fails in bounded time).
  std::optional<KeyEvent> next() {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::seconds(5), [&] { return !events_.empty(); })) return std::nullopt;
    KeyEvent event = events_.front();
    events_.pop_front();
    return event;
  }
  // Forgets what arrived so far.
  void clear() {
    std::scoped_lock lock(mutex_);
    events_.clear();
  }
  // Nothing more arrives within a tenth of a second.
  bool quiet() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::scoped_lock lock(mutex_);
    return events_.empty();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<KeyEvent> events_;
};

}  // namespace quorvel::testing

// Expects the next event heard to be this key, going down or up, a modifier or not.
#define EXPECT_NEXT_KEY(heard, shellKey, isDown, isModifier) \
  do {                                                       \
    auto event = (heard).next();                             \
    ASSERT_TRUE(event) << "no key event arrived";            \
    EXPECT_EQ(event->key, shellKey);                         \
    EXPECT_EQ(event->down, isDown);                          \
    EXPECT_EQ(event->modifier, isModifier);                  \
  } while (false)
