// Child processes through posix_spawn, reaped with waitpid.
#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "support/Env.h"

namespace quorvel {
namespace {

// Forks and executes path with a parent-death signal. Between fork and exec the
// child makes only async-signal-safe calls; everything is prepared before.
Result<pid_t> forkEndingWithParent(const char* path, char* const* argv, char* const* envp,
                                   int outputFd) {
  int reportPipe[2];
  if (::pipe2(reportPipe, O_CLOEXEC) != 0) return Error{std::strerror(errno)};
  sigset_t none;
  sigemptyset(&none);
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  const pid_t parent = ::getpid();

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // The parent may have ended before the request took effect.
    if (::getppid() != parent) ::_exit(127);
    for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &defaultAction, nullptr);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (outputFd >= 0) {
      ::dup2(outputFd, STDOUT_FILENO);
      ::dup2(outputFd, STDERR_FILENO);
    }
    ::execve(path, argv, envp);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(reportPipe[1], &error, sizeof error);
    ::_exit(127);
  }
  const int forkError = errno;
  ::close(reportPipe[1]);
  if (pid < 0) {
    ::close(reportPipe[0]);
    return Error{std::strerror(forkError)};
  }
  // The pipe closes without data when exec succeeds; otherwise it brings errno.
  int execError = 0;
  ssize_t got;
  do {
    got = ::read(reportPipe[0], &execError, sizeof execError);
  } while (got < 0 && errno == EINTR);
  ::close(reportPipe[0]);
  if (got == static_cast<ssize_t>(sizeof execError)) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return Error{std::strerror(execError)};
  }
  return pid;
}

// The thread that starts children which end with us. It lives as long as the
// process (never joined, never destroyed), since the kernel sends the
// parent-death signal when the forking thread ends.
class LauncherThread {
 public:
  static LauncherThread& instance() {
    static LauncherThread* const launcher = new LauncherThread;  // lives to process exit
    return *launcher;
  }

  Result<pid_t> run(std::function<Result<pid_t>()> job) {
    std::packaged_task<Result<pid_t>()> task(std::move(job));
    auto result = task.get_future();
    {
      std::scoped_lock lock(mutex_);
      jobs_.push_back(std::move(task));
    }
    wake_.notify_one();
    return result.get();
  }

 private:
  LauncherThread() { std::thread([this] { serve(); }).detach(); }

  [[noreturn]] void serve() {
    for (;;) {
      std::packaged_task<Result<pid_t>()> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return !jobs_.empty(); });
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<Result<pid_t>()>> jobs_;  // guarded by mutex_
};

}  // namespace

std::string describeWaitStatus(int status) {
  if (status == -1) return "ended (reaped elsewhere)";
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    const char* name = sigdescr_np(signal);
    return "killed by signal " + std::to_string(signal) + (name ? std::string(" (") + name + ")" : "");
  }
  return "wait status " + std::to_string(status);
}

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
  if (options.endWithParent) {
    auto pid = LauncherThread::instance().run([&] {
      return forkEndingWithParent(options.executable.c_str(), argv.data(), envp.data(), outputFd);
    });
    if (outputFd >= 0) ::close(outputFd);
    posix_spawn_file_actions_destroy(&actions);
    if (!pid) return Error{pid.error()};
    return std::unique_ptr<ChildProcess>(new ChildProcess(*pid));
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

ChildProcess::~ChildProcess() {
  std::scoped_lock lock(mutex_);
  reap();
}

bool ChildProcess::reap() {
  if (status_) return true;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
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

bool ChildProcess::isRunning() {
  std::scoped_lock lock(mutex_);
  return !reap();
}

std::optional<int> ChildProcess::exitStatus() const {
  std::scoped_lock lock(mutex_);
  return status_;
}

void ChildProcess::terminate() {
  std::scoped_lock lock(mutex_);
  if (terminateSent_ || reap()) return;
  terminateSent_ = true;
  ::kill(pid_, SIGTERM);
}

void ChildProcess::kill() {
  std::scoped_lock lock(mutex_);
  if (!reap()) ::kill(pid_, SIGKILL);
}

bool ChildProcess::waitForExit(std::optional<std::chrono::milliseconds> limit) {
  const auto deadline = limit ? std::chrono::steady_clock::now() + *limit
                              : std::chrono::steady_clock::time_point::max();
  // Polled rather than blocked in waitpid, so other threads may ask about the
  // same child meanwhile.
  while (isRunning()) {
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
