// Appending whole JSON lines to the shared request log.
#include "RequestLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvel::standin {

RequestLog::RequestLog(const std::string& path, std::ostream& notes) {
  if (path.empty()) return;
  fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) notes << "cannot open the request log " << path << ": " << std::strerror(errno) << "\n";
}

RequestLog::~RequestLog() {
  if (fd_ >= 0) ::close(fd_);
}

void RequestLog::append(const nlohmann::json& record) {
  if (fd_ < 0) return;
  const std::string line =
      record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  std::scoped_lock lock(mutex_);
  ::flock(fd_, LOCK_EX);
  std::size_t written = 0;
  // One write normally takes the whole line; the loop only covers the rare
  // short write, still under the lock so no other line can cut in.
  for (int attempt = 0; written < line.size() && attempt < 100; ++attempt) {
    const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  ::flock(fd_, LOCK_UN);
}

}  // namespace quorvel::standin
