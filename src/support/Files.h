// File-system helpers: XDG folders, whole-file reads, and writes that an
// interruption cannot leave half-done.
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

// Holds an advisory lock (flock) on a lock file for the object's life; used to
// serialise read-modify-write cycles of a file between processes.
class FileLock {
 public:
  explicit FileLock(const fs::path& lockFile);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace quorvel
