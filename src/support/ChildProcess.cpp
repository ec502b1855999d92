// Child processes through posix_spawn, reaped with waitpid.
#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "support/Env.h"

namespace quorvel {

Result<std::unique_ptr<ChildProcess>> ChildProcess::launch(const LaunchOptions& options) {
  std::vector<std::string> argumentStorage;
  argumentStorage.push_back(options.executable);
  argumentStorage.insert(argumentStorage.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (auto& argument : argumentStorage) argv.push_back(argument.data());
  argv.push_back(nullptr);

  auto environment = currentEnvironment();
  for (const auto& [name, value] : options.extraEnvironment) environment[name] = value;
  std::vector<std::string> environmentStorage;
  for (const auto& [name, value] : environment) environmentStorage.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& entry : environmentStorage) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int outputFd = -1;
  if (options.outputFile) {
    outputFd = ::open(options.outputFile->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (outputFd >= 0) {
      posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
      posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    }
  }
  // The child starts with default signal handling and nothing blocked, whatever
  // the parent (a test runner, a GUI toolkit) has set up.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  const int error =
      posix_spawn(&pid, options.executable.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (outputFd >= 0) ::close(outputFd);
  if (error != 0) return Error{std::strerror(error)};
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid));
}

ChildProcess::~ChildProcess() { reap(false); }

bool ChildProcess::reap(bool block) {
  if (status_) return true;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (done == pid_) {
      status_ = status;
      return true;
    }
    if (done == 0) return false;
    if (errno == EINTR) continue;
    // ECHILD: someone else reaped it (or it was never ours); treat as ended.
    status_ = -1;
    return true;
  }
}

bool ChildProcess::isRunning() { return !reap(false); }

void ChildProcess::terminate() {
  if (!reap(false)) ::kill(pid_, SIGTERM);
}

void ChildProcess::kill() {
  if (!reap(false)) ::kill(pid_, SIGKILL);
}

bool ChildProcess::waitForExit(std::optional<std::chrono::milliseconds> limit) {
  if (!limit) return reap(true);
  const auto deadline = std::chrono::steady_clock::now() + *limit;
  while (!reap(false)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::optional<fs::path> findOnPath(const std::string& name) {
  if (name.empty()) return std::nullopt;
  const std::string path = environmentValue("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string folder = path.substr(start, end - start);
    if (!folder.empty()) {
      fs::path candidate = fs::path(folder) / name;
      if (::access(candidate.c_str(), X_OK) == 0 && !isDirectory(candidate)) return candidate;
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace quorvel
