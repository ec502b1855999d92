// Starts quorvel-rules with posix_spawn and talks to it over two pipes.
#include "RulesProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "TestSupport.h"

extern char** environ;

namespace quorvel::testing {
namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

RulesProcess::RulesProcess(const std::map<std::string, std::string>& environment) {
  // A console that died must fail the test, not kill it with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);

  int toChild[2];
  int fromChild[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0) return;
  if (::pipe2(fromChild, O_CLOEXEC) != 0) {
    ::close(toChild[0]);
    ::close(toChild[1]);
    return;
  }

  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const std::string name = text.substr(0, text.find('='));
    if (!environment.contains(name)) entries.push_back(text);
  }
  for (const auto& [name, value] : environment) entries.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& entry : entries) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const std::string program = buildProgram("quorvel-rules").string();
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
  pid_t pid = -1;
  const int spawned =
      ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);

  ::close(toChild[0]);
  ::close(fromChild[1]);
  input_ = toChild[1];
  output_ = fromChild[0];
  if (spawned == 0) pid_ = pid;
}

RulesProcess::~RulesProcess() { stop(); }

bool RulesProcess::writeAll(const std::string& bytes, Clock::time_point deadline) {
  size_t written = 0;
  while (written < bytes.size()) {
    pollfd ready{input_, POLLOUT, 0};
    if (::poll(&ready, 1, millisecondsLeft(deadline)) <= 0) return false;
    const ssize_t count = ::write(input_, bytes.data() + written, bytes.size() - written);
    if (count < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    written += static_cast<size_t>(count);
  }
  return true;
}

std::optional<std::string> RulesProcess::readLine(Clock::time_point deadline) {
  while (true) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    pollfd ready{output_, POLLIN, 0};
    if (::poll(&ready, 1, millisecondsLeft(deadline)) <= 0) return std::nullopt;
    char buffer[65536];
    const ssize_t count = ::read(output_, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return std::nullopt;  // the console closed its output
    pending_.append(buffer, static_cast<size_t>(count));
  }
}

std::optional<std::string> RulesProcess::ask(const std::string& line,
                                             std::chrono::milliseconds limit) {
  if (!started()) return std::nullopt;
  const auto deadline = Clock::now() + limit;
  if (!writeAll(line + "\n", deadline)) return std::nullopt;
  return readLine(deadline);
}

std::optional<int> RulesProcess::finish(std::chrono::milliseconds limit) {
  if (!started()) return std::nullopt;
  if (input_ >= 0) {
    ::close(input_);
    input_ = -1;
  }
  const auto deadline = Clock::now() + limit;
  int status = 0;
  while (true) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return std::nullopt;
    }
    if (done < 0 && errno != EINTR) {
      pid_ = -1;
      return std::nullopt;
    }
    if (Clock::now() >= deadline) {
      stop();
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void RulesProcess::stop() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
  if (output_ >= 0) ::close(output_);
  output_ = -1;
}

}  // namespace quorvel::testing
