// File-system helpers.
#include "support/Files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "support/EnvironmentValues.h"
#include "support/Uuid.h"

namespace quorvel {

fs::path homeFolder() {
  if (auto home = nonEmptyEnvironmentValue("HOME")) return *home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "/";
}

namespace {
fs::path xdgFolder(const char* variable, const char* fallbackUnderHome) {
  if (auto value = nonEmptyEnvironmentValue(variable)) {
    fs::path path(*value);
    if (path.is_absolute()) return path;  // relative values are invalid by the XDG rules
  }
  return homeFolder() / fallbackUnderHome;
}
}  // namespace

fs::path xdgDataHome() { return xdgFolder("XDG_DATA_HOME", ".local/share"); }
fs::path xdgConfigHome() { return xdgFolder("XDG_CONFIG_HOME", ".config"); }
fs::path xdgStateHome() { return xdgFolder("XDG_STATE_HOME", ".local/state"); }

fs::path executableFolder() {
  std::error_code error;
  fs::path exe = fs::read_symlink("/proc/self/exe", error);
  if (error) return fs::current_path(error);
  return exe.parent_path();
}

bool pathExists(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

bool isDirectory(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

bool createFolders(const fs::path& path) {
  std::error_code error;
  fs::create_directories(path, error);
  return isDirectory(path);
}

std::optional<std::string> readWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return buffer.str();
}

Result<std::string> readWholeFileOrError(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error{std::strerror(errno)};
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      const std::string reason = std::strerror(errno);
      ::close(fd);
      return Error{reason};
    }
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return text;
}

bool writeAll(int fd, std::string_view data) {
  // Bounded: each round writes something or ends the loop.
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

namespace {

Status replaceFile(const fs::path& path, std::string_view data, bool privateFile) {
  const fs::path temporary =
      path.parent_path() / ("." + path.filename().string() + "." + randomUuid() + ".tmp");
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, privateFile ? 0600 : 0644);
  if (fd < 0) {
    return Error{"could not write " + path.string() + ": " + std::strerror(errno)};
  }
  if (privateFile) {
    ::fchmod(fd, 0600);
  } else if (struct stat existing {}; ::stat(path.c_str(), &existing) == 0) {
    // A file the user keeps private (0600) stays private after the replacement.
    ::fchmod(fd, existing.st_mode & 07777);
  }
  if (!writeAll(fd, data)) {
    const std::string reason = std::strerror(errno);
    ::close(fd);
    ::unlink(temporary.c_str());
    return Error{"could not write " + path.string() + ": " + reason};
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(temporary.c_str());
    return Error{"could not write " + path.string() + ": " + reason};
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(temporary.c_str());
    return Error{"could not replace " + path.string() + ": " + reason};
  }
  // Make the rename itself durable.
  if (const int folder = ::open(path.parent_path().empty() ? "." : path.parent_path().c_str(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return success();
}

}  // namespace

Status writeFileAtomically(const fs::path& path, std::string_view data) { return replaceFile(path, data, false); }

Status writePrivateFileAtomically(const fs::path& path, std::string_view data) {
  return replaceFile(path, data, true);
}

FileLock::FileLock(const fs::path& path, Target target, Wait wait) : ownsFd_(true) {
  fd_ = target == Target::folder ? ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                 : ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    failure_ = path.string() + ": " + std::strerror(errno);
    return;
  }
  take(wait, path.string() + ": ");
}

FileLock::FileLock(int fd, Wait wait) : fd_(fd) {
  if (fd_ < 0) {
    failure_ = std::strerror(EBADF);
    return;
  }
  take(wait, "");
}

void FileLock::take(Wait wait, const std::string& name) {
  const int operation = wait == Wait::never ? LOCK_EX | LOCK_NB : LOCK_EX;
  while (::flock(fd_, operation) != 0) {
    if (errno == EINTR) continue;
    busy_ = errno == EWOULDBLOCK;
    failure_ = name + std::strerror(errno);
    return;
  }
  held_ = true;
}

FileLock::~FileLock() {
  if (held_) ::flock(fd_, LOCK_UN);
  if (ownsFd_ && fd_ >= 0) ::close(fd_);
}

}  // namespace quorvel
