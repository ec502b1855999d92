// Hashing, writing and joining the downloaded model files.
#include "app/models/ModelStoreFiles.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>

#include "support/Files.h"
#include "support/Log.h"

namespace quorvel::ModelStore::detail {

struct Sha256::Context {
  EVP_MD_CTX* md = nullptr;
  bool ok = false;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  context_->md = EVP_MD_CTX_new();
  context_->ok = context_->md != nullptr && EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() { EVP_MD_CTX_free(context_->md); }

void Sha256::update(std::string_view data) {
  if (context_->ok && !data.empty()) {
    context_->ok = EVP_DigestUpdate(context_->md, data.data(), data.size()) == 1;
  }
}

std::string Sha256::hexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!context_->ok || EVP_DigestFinal_ex(context_->md, digest, &length) != 1) return {};
  context_->ok = false;
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(digits[digest[i] >> 4]);
    hex.push_back(digits[digest[i] & 0x0f]);
  }
  return hex;
}

std::string systemFailure(const fs::path& path) {
  return path.string() + ": " + std::strerror(errno);
}

OutputFile::OutputFile(const fs::path& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) fail();
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

void OutputFile::fail() {
  if (failure_.empty()) failure_ = systemFailure(path_);
}

bool OutputFile::write(std::string_view data) {
  if (!ok() || fd_ < 0) return false;
  if (!writeAll(fd_, data)) {
    fail();
    return false;
  }
  written_ += static_cast<std::int64_t>(data.size());
  return true;
}

bool OutputFile::close(bool sync) {
  if (fd_ < 0) return ok();
  if (ok() && sync && ::fsync(fd_) != 0) fail();
  if (::close(fd_) != 0 && ok()) fail();
  fd_ = -1;
  return ok();
}

fs::path joiningFile(const fs::path& destination) {
  fs::path file = destination;
  file += ".download";
  return file;
}

void syncFolder(const fs::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Reads until size bytes or the end; answers the bytes read, or -1.
ssize_t readBlock(int fd, char* buffer, std::size_t size) {
  std::size_t filled = 0;
  while (filled < size) {
    const ssize_t count = ::read(fd, buffer + filled, size - filled);
    if (count < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (count == 0) break;
    filled += static_cast<std::size_t>(count);
  }
  return static_cast<ssize_t>(filled);
}

namespace {

void removeQuietly(const fs::path& file) {
  std::error_code ignored;
  fs::remove(file, ignored);
}

}  // namespace

JoinResult assemble(const std::vector<Piece>& pieces, const std::string& sha256,
                    const fs::path& destination) {
  const fs::path temporary = joiningFile(destination);
  removeQuietly(temporary);
  OutputFile out(temporary);
  if (!out.ok()) return {JoinOutcome::diskFailure, out.failure()};

  // Each block is written on a second thread while the next one is read and
  // hashed here; two buffers take turns.
  std::future<bool> writing;
  const auto writeFinished = [&] { return !writing.valid() || writing.get(); };

  const auto giveUp = [&](JoinOutcome outcome, std::string failure) {
    if (writing.valid()) writing.wait();
    out.close(false);
    removeQuietly(temporary);
    return JoinResult{outcome, std::move(failure)};
  };

  Sha256 hash;
  const std::unique_ptr<char[]> buffers[2] = {std::unique_ptr<char[]>(new char[blockBytes]),
                                              std::unique_ptr<char[]>(new char[blockBytes])};
  int current = 0;
  for (const auto& piece : pieces) {
    const int fd = ::open(piece.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return giveUp(JoinOutcome::notJoinable, {});
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    for (;;) {
      // The write of this buffer two blocks ago has been waited for below.
      const ssize_t count = readBlock(fd, buffers[current].get(), blockBytes);
      if (count <= 0) break;  // the end, or a read error that the checksum will catch
      const std::string_view block(buffers[current].get(), static_cast<std::size_t>(count));
      if (!writeFinished()) {
        ::close(fd);
        return giveUp(JoinOutcome::diskFailure, out.failure());
      }
      writing = std::async(std::launch::async, [&out, block] { return out.write(block); });
      hash.update(block);
      current ^= 1;
    }
    ::close(fd);
  }
  if (!writeFinished()) return giveUp(JoinOutcome::diskFailure, out.failure());

  if (hash.hexDigest() != sha256) {
    logLine("Quorvel: " + destination.filename().string() +
            ": put together, but the checksum didn't match");
    return giveUp(JoinOutcome::notJoinable, {});
  }
  // The callers judge a model by its presence alone, so it must be on disk
  // whole before its name appears.
  if (!out.close(true)) return giveUp(JoinOutcome::diskFailure, out.failure());
  if (::rename(temporary.c_str(), destination.c_str()) != 0) {
    return giveUp(JoinOutcome::diskFailure, systemFailure(destination));
  }
  syncFolder(destination.parent_path());
  for (const auto& piece : pieces) removeQuietly(piece.file);
  return {JoinOutcome::joined, {}};
}

}  // namespace quorvel::ModelStore::detail

namespace quorvel::ModelStore {

std::optional<std::string> fileSHA256(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  detail::Sha256 hash;
  const std::unique_ptr<char[]> buffer(new char[blockBytes]);
  ssize_t count;
  while ((count = detail::readBlock(fd, buffer.get(), blockBytes)) > 0) {
    hash.update(std::string_view(buffer.get(), static_cast<std::size_t>(count)));
  }
  ::close(fd);
  if (count < 0) return std::nullopt;  // a directory, or a read error
  std::string digest = hash.hexDigest();
  if (digest.empty()) return std::nullopt;
  return digest;
}

}  // namespace quorvel::ModelStore
