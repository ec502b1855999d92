// The download's network side, inside the model store: one piece with its
// retries, the whole-file fallback, and the watch that ends a transfer that has
// stopped receiving.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "app/models/ModelStore.h"
#include "support/Tasks.h"

namespace quorvel::ModelStore::detail {

// What one download shares with its fetches: the settings, a token that ends
// every transfer at once, and the first failure on this machine's side.
// Thread-safe.
class Run {
 public:
  explicit Run(const DownloadSettings& settings) : settings_(settings) {}
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  const DownloadSettings& settings() const { return settings_; }

  // Records the first local failure ("path: reason") and stops every transfer.
  void diskFailed(std::string failure);
  std::optional<std::string> diskFailure() const;

  // A host that answers a range request with the whole file: its item is
  // fetched whole, without asking it for further pieces.
  void ignoresRanges(const std::string& url);
  bool knownToIgnoreRanges(const std::string& url) const;

  // Whether the download must end now (a local failure, or the caller cancelled).
  bool stopping() const { return stop_.cancelled() || settings_.cancel.cancelled(); }
  // Sleeps unless the download is stopping; false when it stopped the wait.
  bool pause(std::chrono::milliseconds duration) const;

 private:
  const DownloadSettings& settings_;
  CancelToken stop_;
  mutable std::mutex mutex_;
  std::optional<std::string> diskFailure_;  // guarded by mutex_
  std::set<std::string> ignoringRanges_;    // guarded by mutex_
};

// Cancels its token when nothing was received for `idle`, or when the run is
// stopping. Lives for one transfer; touch() may be called from any thread.
class StallWatch {
 public:
  StallWatch(std::chrono::milliseconds idle, const Run& run);
  ~StallWatch();
  StallWatch(const StallWatch&) = delete;
  StallWatch& operator=(const StallWatch&) = delete;

  void touch();
  const CancelToken& token() const { return token_; }
  // Whether the watch ended the transfer for receiving nothing.
  bool stalled() const { return stalled_.load(); }

 private:
  using Clock = std::chrono::steady_clock;
  std::chrono::milliseconds idle_;
  const Run& run_;
  CancelToken token_;
  std::atomic<bool> stalled_{false};
  std::atomic<Clock::rep> lastActivity_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::jthread thread_;  // last: started once the rest is ready
};

// Fetches one piece into its file, trying up to settings().triesPerPiece
// times. True when the piece's file now holds exactly its bytes.
bool fetchPiece(const Piece& piece, Run& run);

// The whole-file fallback: fetches url into destination + ".download" while
// hashing it, and renames it to destination only when the status is 200, no
// more than `bytes` arrived and the digest equals sha256.
bool fetchWhole(const std::string& url, const fs::path& destination, const std::string& sha256,
                std::int64_t bytes, Run& run);

}  // namespace quorvel::ModelStore::detail
