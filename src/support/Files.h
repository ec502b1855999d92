// File-system helpers: XDG folders, whole-file reads, writes that an
// interruption cannot leave half-done, and advisory locks.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "support/Result.h"

namespace quorvel {

namespace fs = std::filesystem;

// $HOME, else the password database's home, else "/".
fs::path homeFolder();
// $XDG_DATA_HOME when absolute, else ~/.local/share.
fs::path xdgDataHome();
// $XDG_CONFIG_HOME when absolute, else ~/.config.
fs::path xdgConfigHome();
// $XDG_STATE_HOME when absolute, else ~/.local/state.
fs::path xdgStateHome();
// The folder holding the running executable (from /proc/self/exe).
fs::path executableFolder();

// Whether something exists at path (a broken link counts as absent). Never throws.
bool pathExists(const fs::path& path);
bool isDirectory(const fs::path& path);
// Creates the folder with its parents; answers whether it exists afterwards.
bool createFolders(const fs::path& path);

// The whole file, or nothing when it can't be read.
std::optional<std::string> readWholeFile(const fs::path& path);
// The whole file, or the system's reason why it can't be read ("No such file
// or directory", "Is a directory").
Result<std::string> readWholeFileOrError(const fs::path& path);

// Replaces path with data atomically: a temporary file in the same folder is
// written, flushed to disk and renamed over path. Readers see the old or the
// new file, never a mix. The folder must exist.
Status writeFileAtomically(const fs::path& path, std::string_view data);
// The same for a file only the user may read (0600 whatever was there
// before, and never readable by others while it is written).
Status writePrivateFileAtomically(const fs::path& path, std::string_view data);

// Writes every byte of data to the descriptor, going on after an interrupted
// or short write. False on failure, errno saying why; a write that makes no
// progress counts as a full disk (ENOSPC).
bool writeAll(int fd, std::string_view data);

// Holds an exclusive advisory lock (flock) for the object's life: serialises
// read-modify-write cycles of a file between processes, or keeps two
// processes out of one folder. An interrupted wait goes on waiting.
class FileLock {
 public:
  enum class Target {
    lockFile,  // a file kept for the lock alone, created (0644) when missing
    folder,    // the folder itself, never created
  };
  enum class Wait {
    untilFree,  // until the holder lets go
    never,      // fail at once when another holder has it (busy())
  };
  explicit FileLock(const fs::path& path, Target target = Target::lockFile, Wait wait = Wait::untilFree);
  // Locks a descriptor the caller opened; it must stay open until this lock ends.
  FileLock(int fd, Wait wait);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return held_; }
  // Another holder has it (only with Wait::never).
  bool busy() const { return busy_; }
  // Why the lock is not held: "path: reason" (the reason alone for a descriptor).
  const std::string& failure() const { return failure_; }

 private:
  void take(Wait wait, const std::string& name);

  int fd_ = -1;
  bool ownsFd_ = false;
  bool held_ = false;
  bool busy_ = false;
  std::string failure_;
};

}  // namespace quorvel
