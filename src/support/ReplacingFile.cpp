// Temporary file beside the destination, renamed over it when complete.
#include "support/ReplacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/Uuid.h"

namespace quorvel {

ReplacingFile::ReplacingFile(fs::path destination, fs::path temporary, int fd)
    : destination_(std::move(destination)), temporary_(std::move(temporary)), fd_(fd) {}

Result<std::unique_ptr<ReplacingFile>> ReplacingFile::open(const fs::path& path) {
  struct stat existing {};
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) return Error{std::strerror(EISDIR)};
  if (exists && !S_ISREG(existing.st_mode)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return Error{std::strerror(errno)};
    return std::unique_ptr<ReplacingFile>(new ReplacingFile(path, {}, fd));
  }
  const fs::path temporary =
      path.parent_path() / ("." + path.filename().string() + "." + randomUuid() + ".tmp");
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return Error{std::strerror(errno)};
  // A file the user keeps private stays private after the replacement.
  if (exists) ::fchmod(fd, existing.st_mode & 07777);
  return std::unique_ptr<ReplacingFile>(new ReplacingFile(path, temporary, fd));
}

ReplacingFile::~ReplacingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

Status ReplacingFile::write(std::string_view data) {
  if (!failure_.empty()) return Error{failure_};
  if (fd_ < 0) return Error{std::strerror(EBADF)};
  while (!data.empty()) {
    const ssize_t written = ::write(fd_, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      failure_ = std::strerror(errno);
      return Error{failure_};
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return success();
}

Status ReplacingFile::commit() {
  if (!failure_.empty()) return Error{failure_};
  if (fd_ < 0) return Error{std::strerror(EBADF)};
  const bool inPlace = temporary_.empty();
  // A device or a pipe may not support fsync; what it took is what it got.
  if (::fsync(fd_) != 0 && !(inPlace && (errno == EINVAL || errno == EROFS))) {
    failure_ = std::strerror(errno);
    return Error{failure_};
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    failure_ = std::strerror(errno);
    return Error{failure_};
  }
  if (inPlace) return success();
  if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    failure_ = std::strerror(errno);
    return Error{failure_};
  }
  temporary_.clear();
  if (const int folder = ::open(destination_.parent_path().empty() ? "." : destination_.parent_path().c_str(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return success();
}

}  // namespace quorvel
