// Fetching pieces and whole files over the HTTP client, written to disk as
// they arrive so that no file is ever held in memory.
#include "app/models/ModelStoreFetch.h"

#include <cstdio>

#include "app/models/ModelStoreFiles.h"
#include "support/Http.h"
#include "support/Log.h"

namespace quorvel::ModelStore::detail {

void Run::diskFailed(std::string failure) {
  {
    std::scoped_lock lock(mutex_);
    if (!diskFailure_) diskFailure_ = std::move(failure);
  }
  stop_.cancel();
}

std::optional<std::string> Run::diskFailure() const {
  std::scoped_lock lock(mutex_);
  return diskFailure_;
}

void Run::ignoresRanges(const std::string& url) {
  std::scoped_lock lock(mutex_);
  ignoringRanges_.insert(url);
}

bool Run::knownToIgnoreRanges(const std::string& url) const {
  std::scoped_lock lock(mutex_);
  return ignoringRanges_.count(url) > 0;
}

bool Run::pause(std::chrono::milliseconds duration) const {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (!stopping()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        deadline - now, std::chrono::milliseconds(20)));
  }
  return false;
}

StallWatch::StallWatch(std::chrono::milliseconds idle, const Run& run)
    : idle_(idle), run_(run), lastActivity_(Clock::now().time_since_epoch().count()) {
  thread_ = std::jthread([this](std::stop_token stop) {
    const auto tick = std::clamp<std::chrono::milliseconds>(idle_ / 4, std::chrono::milliseconds(5),
                                                            std::chrono::milliseconds(100));
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, stop, tick, [] { return false; })) {
      if (stop.stop_requested()) return;
      const Clock::time_point last{Clock::duration(lastActivity_.load())};
      if (run_.stopping()) {
        token_.cancel();
        return;
      }
      if (Clock::now() - last > idle_) {
        stalled_ = true;
        token_.cancel();
        return;
      }
    }
  });
}

StallWatch::~StallWatch() {
  thread_.request_stop();
  if (thread_.joinable()) thread_.join();
}

void StallWatch::touch() { lastActivity_.store(Clock::now().time_since_epoch().count()); }

namespace {

void removeQuietly(const fs::path& file) {
  std::error_code ignored;
  fs::remove(file, ignored);
}

// A 206 answer must say which bytes it holds, and they must be the ones asked for.
bool rangeMatches(const HttpResponse& response, const Piece& piece) {
  const auto header = response.header("content-range");
  if (!header) return false;
  long long first = -1, last = -1;
  if (std::sscanf(header->c_str(), "bytes %lld-%lld", &first, &last) != 2) return false;
  return first == piece.start && last == piece.start + piece.length - 1;
}

std::string lastPathComponent(const std::string& url) {
  std::string_view path(url);
  if (const auto scheme = path.find("://"); scheme != std::string_view::npos) {
    path.remove_prefix(scheme + 3);
  }
  if (const auto end = path.find_first_of("?#"); end != std::string_view::npos) {
    path = path.substr(0, end);
  }
  const auto slash = path.find('/');
  if (slash == std::string_view::npos) return "/";
  path.remove_prefix(slash);
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const auto last = path.rfind('/');
  return std::string(path.size() == 1 ? path : path.substr(last + 1));
}

enum class TryOutcome { stored, failed, stopped, wholeInstead };

// One request for a piece. The body goes straight to a temporary file beside
// the piece's file and replaces it only when it is exactly the bytes asked for.
TryOutcome tryPiece(const Piece& piece, Run& run) {
  fs::path temporary = piece.file;
  temporary += ".tmp";
  OutputFile out(temporary);
  if (!out.ok()) {
    run.diskFailed(out.failure());
    return TryOutcome::stopped;
  }

  StallWatch watch(run.settings().pieceTimeout, run);
  HttpRequest request;
  request.url = piece.url;
  request.timeout = std::chrono::milliseconds(0);  // the watch ends a stalled transfer
  request.caFile = run.settings().caFile;
  request.cancel = watch.token();
  if (!piece.whole) {
    request.range = {static_cast<std::uint64_t>(piece.start),
                     static_cast<std::uint64_t>(piece.start + piece.length - 1)};
  }

  std::int64_t received = 0;
  const auto result = httpStream(request, [&](std::string_view chunk) {
    watch.touch();
    received += static_cast<std::int64_t>(chunk.size());
    if (received > piece.length) return false;  // more than asked: never written
    return out.write(chunk);
  });

  const bool wrote = out.close(false);
  if (!wrote) {
    removeQuietly(temporary);
    run.diskFailed(out.failure());
    return TryOutcome::stopped;
  }
  if (run.stopping()) {
    removeQuietly(temporary);
    return TryOutcome::stopped;
  }
  if (!result) {  // transport error or time-out: retried without a log line
    removeQuietly(temporary);
    return TryOutcome::failed;
  }
  if (!piece.whole && result->status == 200) {
    // The whole file for a range: this host ignores ranges, so asking it for
    // every piece four times would only fetch the file over and over.
    removeQuietly(temporary);
    run.ignoresRanges(piece.url);
    logLine("Quorvel: piece " + piece.file.filename().string() +
            ": the server ignores byte ranges; fetching the file whole");
    return TryOutcome::wholeInstead;
  }
  const long expected = piece.whole ? 200 : 206;
  if (result->status == expected && received == piece.length &&
      (piece.whole || rangeMatches(*result, piece))) {
    if (::rename(temporary.c_str(), piece.file.c_str()) == 0) return TryOutcome::stored;
    const std::string failure = systemFailure(piece.file);
    removeQuietly(temporary);
    run.diskFailed(failure);
    return TryOutcome::stopped;
  }
  removeQuietly(temporary);
  logLine("Quorvel: piece " + piece.file.filename().string() + ": the server answered " +
          std::to_string(result->status) + " with " + std::to_string(received) + " bytes");
  return TryOutcome::failed;
}

}  // namespace

bool fetchPiece(const Piece& piece, Run& run) {
  const DownloadSettings& settings = run.settings();
  for (int tries = 0; tries < settings.triesPerPiece; ++tries) {
    if (run.knownToIgnoreRanges(piece.url)) return false;
    switch (tryPiece(piece, run)) {
      case TryOutcome::stored:
        return true;
      case TryOutcome::stopped:
      case TryOutcome::wholeInstead:
        return false;
      case TryOutcome::failed:
        break;
    }
    if (!run.pause(settings.retryStep * (tries + 1))) return false;
  }
  return false;
}

bool fetchWhole(const std::string& url, const fs::path& destination, const std::string& sha256,
                std::int64_t bytes, Run& run) {
  const fs::path temporary = joiningFile(destination);
  removeQuietly(temporary);
  OutputFile out(temporary);
  if (!out.ok()) {
    run.diskFailed(out.failure());
    return false;
  }

  StallWatch watch(run.settings().wholeTimeout, run);
  HttpRequest request;
  request.url = url;
  request.timeout = std::chrono::milliseconds(0);  // the watch ends a stalled transfer
  request.caFile = run.settings().caFile;
  request.cancel = watch.token();

  Sha256 hash;
  std::int64_t received = 0;
  bool tooLong = false;
  const auto result = httpStream(request, [&](std::string_view chunk) {
    watch.touch();
    received += static_cast<std::int64_t>(chunk.size());
    if (bytes >= 0 && received > bytes) {  // the file can't be longer than the item
      tooLong = true;
      return false;
    }
    hash.update(chunk);
    return out.write(chunk);
  });

  const auto giveUp = [&](const std::string& reason) {
    out.close(false);
    removeQuietly(temporary);
    if (!out.ok()) {
      run.diskFailed(out.failure());
    } else if (!run.stopping()) {
      logLine("Quorvel: download of " + lastPathComponent(url) + " failed: " + reason);
    }
    return false;
  };

  if (!out.ok()) return giveUp({});
  if (!result) return giveUp(watch.stalled() ? "the request timed out" : result.error());
  if (result->status != 200 || tooLong || hash.hexDigest() != sha256) {
    return giveUp("bad response or checksum");
  }
  if (!out.close(true)) return giveUp({});
  if (::rename(temporary.c_str(), destination.c_str()) != 0) {
    run.diskFailed(systemFailure(destination));
    removeQuietly(temporary);
    return false;
  }
  syncFolder(destination.parent_path());
  return true;
}

}  // namespace quorvel::ModelStore::detail
