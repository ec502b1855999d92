// The download of a list of items: pieces six at a time, then each item
// joined and verified, or fetched whole when its pieces did not work out.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "app/models/ModelStore.h"
#include "app/models/ModelStoreFetch.h"
#include "app/models/ModelStoreFiles.h"
#include "engine/Config.h"
#include "support/Files.h"
#include "support/Log.h"

namespace quorvel::ModelStore {
namespace {

using detail::Run;

std::string diskFailureText(const std::string& failure) {
  return "Couldn't save the models: " + failure;
}

// A relative path that stays inside the target folder.
bool isSafeFile(const std::string& file) {
  if (file.empty() || file.find('\0') != std::string::npos) return false;
  const fs::path path(file);
  if (path.is_absolute()) return false;
  for (const auto& part : path) {
    if (part.empty() || part == "." || part == "..") return false;
  }
  return path.has_filename();
}

// Fetches the pieces, at most `parallel` at once and in order, and hands each
// success to onDone on the calling thread, in order of finishing. Every worker
// takes the next piece not yet started until none is left or the run stops.
void fetchAll(const std::vector<const Piece*>& todo, int parallel, Run& run,
              const std::function<void(const Piece&)>& onDone) {
  if (todo.empty()) return;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<const Piece*> finished;  // guarded by mutex
  std::size_t next = 0;               // guarded by mutex
  std::size_t working = 0;            // guarded by mutex

  const auto work = [&] {
    for (;;) {
      const Piece* piece = nullptr;
      {
        std::scoped_lock lock(mutex);
        if (next < todo.size() && !run.stopping()) piece = todo[next++];
      }
      if (piece == nullptr) break;
      const bool ok = detail::fetchPiece(*piece, run);
      std::scoped_lock lock(mutex);
      if (ok) finished.push_back(piece);
      changed.notify_all();
    }
    std::scoped_lock lock(mutex);
    --working;
    changed.notify_all();
  };

  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(parallel, 1)),
                                                  todo.size());
  std::vector<std::jthread> workers;
  workers.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    {
      std::scoped_lock lock(mutex);
      ++working;
    }
    try {
      workers.emplace_back(work);
    } catch (const std::system_error&) {
      std::scoped_lock lock(mutex);
      --working;  // fewer threads than wanted still get through the list
      if (workers.empty()) throw;
      break;
    }
  }

  std::unique_lock lock(mutex);
  for (;;) {
    changed.wait(lock, [&] { return !finished.empty() || working == 0; });
    while (!finished.empty()) {
      const Piece* piece = finished.front();
      finished.pop_front();
      lock.unlock();
      onDone(*piece);
      lock.lock();
    }
    if (working == 0) break;
  }
}

bool downloadItems(const std::vector<Item>& items, const fs::path& folder,
                   const ByteCallback& bytes, const MessageCallback& progress,
                   const DownloadSettings& settings) {
  const auto say = [&](const std::string& message) {
    if (progress) progress(message);
  };
  for (const auto& item : items) {
    if (!isUsableUrl(item.url) || !isSafeFile(item.file)) {
      say(unavailableText(item.label));
      return false;
    }
  }

  Run run(settings);
  const auto failedOnDisk = [&] {
    if (auto failure = run.diskFailure()) say(diskFailureText(*failure));
    return false;
  };

  std::int64_t total = 0;
  for (const auto& item : items) total += std::max<std::int64_t>(item.bytes, 0);

  createFolders(folder);
  // Two downloads into one folder would take each other's files away.
  const FileLock lock(folder, FileLock::Target::folder, FileLock::Wait::never);
  if (!lock.held()) {
    say(lock.busy() ? "Another download into " + folder.string() + " is running."
                    : diskFailureText(lock.failure()));
    return false;
  }
  const fs::path parts = folder / ".parts";
  createFolders(parts);  // a failure shows when the first piece can't be written

  std::vector<std::vector<Piece>> itemPieces;
  std::vector<const Piece*> todo;
  std::int64_t done = 0;
  itemPieces.reserve(items.size());
  for (const auto& item : items) itemPieces.push_back(pieces(item, parts, settings.pieceSize));
  for (const auto& list : itemPieces) {
    for (const auto& piece : list) {
      if (piece.here()) {
        done += piece.length;
      } else {
        todo.push_back(&piece);
      }
    }
  }

  const auto report = [&] {
    if (bytes) bytes(done, total);
    say(progressText(done, total));
  };
  report();
  fetchAll(todo, settings.piecesAtOnce, run, [&](const Piece& piece) {
    done += piece.length;
    report();
  });
  if (run.diskFailure()) return failedOnDisk();
  if (run.stopping()) return false;

  for (std::size_t i = 0; i < items.size(); ++i) {
    const Item& item = items[i];
    const auto& list = itemPieces[i];
    const fs::path destination = folder / item.file;
    createFolders(destination.parent_path());

    const bool allHere =
        !list.empty() && std::all_of(list.begin(), list.end(), [](const Piece& p) { return p.here(); });
    if (allHere) {
      const auto joined = detail::assemble(list, item.sha256, destination);
      if (joined.outcome == detail::JoinOutcome::joined) continue;
      if (joined.outcome == detail::JoinOutcome::diskFailure) {
        run.diskFailed(joined.failure);  // the pieces are fine: keep them for the next run
        return failedOnDisk();
      }
    }
    if (run.stopping()) return false;
    for (const auto& piece : list) {
      std::error_code ignored;
      fs::remove(piece.file, ignored);
    }
    logLine("Quorvel: " + item.file + ": the pieces didn't work out, downloading it whole");
    if (!detail::fetchWhole(item.url, destination, item.sha256, item.bytes, run)) {
      return run.diskFailure() ? failedOnDisk() : false;
    }
  }

  std::error_code ignored;
  fs::remove_all(parts, ignored);
  say(std::string(startingText));
  return true;
}

}  // namespace

bool download(const std::vector<Item>& items, const fs::path& folder, const ByteCallback& bytes,
              const MessageCallback& progress, const DownloadSettings& settings) {
  try {
    return downloadItems(items, folder, bytes, progress, settings);
  } catch (const std::exception& error) {
    // Out of memory or threads: report it like any other failure, never throw.
    logLine(std::string("Quorvel: the model download stopped: ") + error.what());
    return false;
  }
}

bool download(const std::vector<Item>& items, const ByteCallback& bytes,
              const MessageCallback& progress) {
  return download(items, Config::models(), bytes, progress, DownloadSettings::fromEnvironment());
}

}  // namespace quorvel::ModelStore
