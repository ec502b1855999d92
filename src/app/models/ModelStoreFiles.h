// The download's file work, inside the model store: streaming SHA-256, an
// output file that remembers why it failed, and joining pieces into a
// verified file.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/models/ModelStore.h"

namespace quorvel::ModelStore::detail {

// SHA-256 fed in blocks. One thread at a time.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(std::string_view data);
  // 64 lower-case hexadecimal digits; empty if the digest could not be made.
  // REQUIRES: called once, after the last update.
  std::string hexDigest();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// A file created (or emptied) for writing. The first failure is kept as
// "path: reason" and every later write is refused. One thread at a time.
class OutputFile {
 public:
  explicit OutputFile(const fs::path& path);
  ~OutputFile();  // closes without syncing
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool ok() const { return failure_.empty(); }
  const std::string& failure() const { return failure_; }
  std::int64_t written() const { return written_; }

  bool write(std::string_view data);
  // Flushes the file to disk (when sync) and closes it.
  bool close(bool sync);

 private:
  void fail();

  fs::path path_;
  int fd_ = -1;
  std::int64_t written_ = 0;
  std::string failure_;
};

// Why a join did not give a verified file.
enum class JoinOutcome {
  joined,       // destination is in place, pieces deleted
  notJoinable,  // a piece could not be read or the checksum differs: fetch whole
  diskFailure,  // this machine could not write: stop, keep the pieces
};

struct JoinResult {
  JoinOutcome outcome = JoinOutcome::notJoinable;
  std::string failure;  // for diskFailure: "path: reason"
};

// Streams the pieces in order through an 8 MiB block into destination +
// ".download" while hashing them; when the digest equals sha256 the file is
// flushed to disk and renamed to destination, and the pieces are deleted.
// Otherwise the ".download" file is removed and destination is untouched.
JoinResult assemble(const std::vector<Piece>& pieces, const std::string& sha256,
                    const fs::path& destination);

// destination with ".download" added to its name.
fs::path joiningFile(const fs::path& destination);

// Makes a rename in folder durable. Errors are ignored.
void syncFolder(const fs::path& folder);

// Reads until size bytes or the end of the file; answers the count, or -1.
ssize_t readBlock(int fd, char* buffer, std::size_t size);

// "path: reason" for the last system error.
std::string systemFailure(const fs::path& path);

}  // namespace quorvel::ModelStore::detail
