// The lock file and request socket that keep one copy per user running.
#include "platform/linux/SingleInstanceLinux.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/Log.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

constexpr int requestTimeoutMs = 1000;

std::string requestWord(InstanceRequest request) {
  return request == InstanceRequest::quit ? "quit" : "reopen";
}

std::optional<InstanceRequest> requestNamed(const std::string& word) {
  if (word == "quit") return InstanceRequest::quit;
  if (word == "reopen") return InstanceRequest::reopen;
  return std::nullopt;
}

// The process's executable; a program replaced on disk since it started
// keeps its name (the kernel adds " (deleted)").
std::string executableOf(pid_t pid) {
  std::error_code error;
  fs::path target = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
  if (error) return {};
  std::string text = target.string();
  const std::string deleted = " (deleted)";
  if (text.size() > deleted.size() && text.ends_with(deleted)) text.resize(text.size() - deleted.size());
  return text;
}

// A Unix socket address for path; false when the path is too long for one.
bool socketAddress(const fs::path& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  const std::string text = path.string();
  if (text.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, text.c_str(), text.size());
  return true;
}

int connectTo(const fs::path& path) {
  sockaddr_un address;
  if (!socketAddress(path, address)) return -1;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  timeval limit{requestTimeoutMs / 1000, (requestTimeoutMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// One line from fd within the socket's receive limit.
std::optional<std::string> readLine(int fd) {
  std::string line;
  char c = 0;
  while (line.size() < 64) {
    const ssize_t got = read(fd, &c, 1);
    if (got <= 0) return std::nullopt;
    if (c == '\n') return line;
    line.push_back(c);
  }
  return std::nullopt;
}

bool writeAll(int fd, const std::string& text) {
  return send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

}  // namespace

fs::path SingleInstanceLinux::defaultFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return runtime;
  return fs::temp_directory_path() / ("quorvel-" + std::to_string(getuid()));
}

SingleInstanceLinux::SingleInstanceLinux() : SingleInstanceLinux(defaultFolder()) {}

SingleInstanceLinux::SingleInstanceLinux(fs::path folder) : folder_(std::move(folder)) {}

SingleInstanceLinux::~SingleInstanceLinux() {
  if (listenFd_ >= 0) {
    close(listenFd_);
    std::error_code ignored;
    fs::remove(folder_ / "quorvel.sock", ignored);
  }
  if (lockFd_ >= 0) close(lockFd_);  // releases the lock
}

std::optional<OtherCopy> SingleInstanceLinux::acquire() {
  if (lockFd_ >= 0) return std::nullopt;
  // The fallback folder under /tmp must be ours alone: a folder someone else
  // made there is not used.
  std::error_code error;
  fs::create_directories(folder_, error);
  struct stat info{};
  if (stat(folder_.c_str(), &info) != 0 || info.st_uid != getuid()) {
    logLine("Quorvel: cannot use " + folder_.string() + " for the single-instance lock");
    return std::nullopt;  // run anyway: a second copy is better than none
  }
  const fs::path lockPath = folder_ / "quorvel.lock";
  const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    logLine("Quorvel: cannot open " + lockPath.string() + ": " + std::strerror(errno));
    return std::nullopt;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    if (auto other = holder()) return other;
    return OtherCopy{};  // held, but its holder can't be asked who it is
  }
  lockFd_ = fd;
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) == 0) (void)!pwrite(fd, pid.data(), pid.size(), 0);

  // We hold the lock, so a socket file left by a crashed copy is stale.
  const fs::path socketPath = folder_ / "quorvel.sock";
  fs::remove(socketPath, error);
  sockaddr_un address;
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener >= 0 && socketAddress(socketPath, address) &&
      bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      listen(listener, 8) == 0) {
    chmod(socketPath.c_str(), 0600);
    listenFd_ = listener;
  } else {
    if (listener >= 0) close(listener);
    logLine("Quorvel: cannot serve requests from other copies: " +
            std::string(std::strerror(errno)));
  }
  return std::nullopt;
}

// The copy holding the lock: the process at the other end of its socket
// (the kernel vouches for it), else the pid it wrote into the lock file.
std::optional<OtherCopy> SingleInstanceLinux::holder() {
  OtherCopy other;
  const int fd = connectTo(folder_ / "quorvel.sock");
  if (fd >= 0) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0) other.pid = peer.pid;
    close(fd);
  }
  if (other.pid <= 0) {
    if (auto text = [&]() -> std::optional<std::string> {
          const int lock = open((folder_ / "quorvel.lock").c_str(), O_RDONLY | O_CLOEXEC);
          if (lock < 0) return std::nullopt;
          char buffer[32] = {};
          const ssize_t got = read(lock, buffer, sizeof buffer - 1);
          close(lock);
          if (got <= 0) return std::nullopt;
          return std::string(buffer, static_cast<size_t>(got));
        }()) {
      char* end = nullptr;
      const long value = std::strtol(text->c_str(), &end, 10);
      if (end != text->c_str() && value > 0 && value < (1L << 22)) other.pid = static_cast<pid_t>(value);
    }
  }
  if (other.pid <= 0) return std::nullopt;
  other.executable = executableOf(other.pid);
  return other;
}

bool SingleInstanceLinux::send(InstanceRequest request) {
  const int fd = connectTo(folder_ / "quorvel.sock");
  if (fd < 0) return false;
  const bool answered = writeAll(fd, requestWord(request) + "\n") && readLine(fd) == "ok";
  close(fd);
  return answered;
}

void SingleInstanceLinux::onRequest(std::function<void(InstanceRequest)> handler) {
  handler_ = std::move(handler);
}

void SingleInstanceLinux::poll() {
  if (listenFd_ < 0) return;
  // A bounded number per call, so a flood of connections can't hold the loop.
  for (int served = 0; served < 8; ++served) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    // Only this user's processes may ask us anything.
    ucred peer{};
    socklen_t size = sizeof peer;
    timeval limit{0, 200000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    std::optional<InstanceRequest> request;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid()) {
      if (auto line = readLine(fd)) request = requestNamed(*line);
    }
    if (request) writeAll(fd, "ok\n");
    close(fd);
    if (request && handler_) handler_(*request);
  }
}

bool SingleInstanceLinux::isRunning(pid_t pid) {
  return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

bool SingleInstanceLinux::forceStop(const OtherCopy& other) {
  if (other.pid <= 0 || other.pid == getpid()) return false;
  const std::string now = executableOf(other.pid);
  const std::string ours = executableOf(getpid());
  const bool sameProgram = !now.empty() && !ours.empty() &&
                           (now == ours || fs::path(now).filename() == fs::path(ours).filename());
  struct stat info{};
  const bool sameUser = stat(("/proc/" + std::to_string(other.pid)).c_str(), &info) == 0 &&
                        info.st_uid == getuid();
  if (!sameProgram || !sameUser) {
    logLine("Quorvel: left process " + std::to_string(other.pid) + " (" +
            (now.empty() ? std::string("unknown program") : now) +
            ") running: it is not a copy of Quorvel");
    return false;
  }
  return kill(other.pid, SIGKILL) == 0;
}

}  // namespace quorvel
