// An output file written piece by piece that takes the place of its
// destination only once it is complete, so an interrupted or failed run
// never leaves a half-written file (or an emptied one) behind.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "support/Files.h"
#include "support/Result.h"

namespace quorvel {

// Threading: one thread at a time. Errors are the system's reason ("No space
// left on device"); callers add which file it was.
class ReplacingFile {
 public:
  // Opens a temporary file beside path. When path exists and is not a regular
  // file (a device, a pipe), it cannot be replaced: it is opened and written
  // in place.
  static Result<std::unique_ptr<ReplacingFile>> open(const fs::path& path);

  // Without a successful commit the temporary file is removed and the
  // destination is left as it was.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Writes every byte, or fails; after a failure every later call fails too.
  Status write(std::string_view data);
  // Flushes to disk, closes and moves the file into place (keeping the old
  // file's permissions). REQUIRES: called at most once.
  Status commit();

 private:
  ReplacingFile(fs::path destination, fs::path temporary, int fd);

  fs::path destination_;
  fs::path temporary_;  // empty when writing in place
  int fd_ = -1;
  std::string failure_;
};

}  // namespace quorvel
