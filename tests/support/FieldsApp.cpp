// Starts and talks to the GTK test window over pipes.
#include "FieldsApp.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace quorvel::testing {

using Ms = std::chrono::milliseconds;

bool insideDesktopSession() {
  const char* app = std::getenv("QUORVEL_TEST_FIELDS_APP");
  return app != nullptr && *app != '\0' && std::getenv("DISPLAY") != nullptr;
}

FieldsApp::FieldsApp() {
  const char* script = std::getenv("QUORVEL_TEST_FIELDS_APP");
  if (script == nullptr) return;
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::string python = "/usr/bin/python3";
  std::string path = script;
  char* argv[] = {python.data(), path.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, python.c_str(), &actions, nullptr, argv, environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  toApp_ = in[1];
  fromApp_ = out[0];
  pid_ = pid;
  if (pid_ <= 0) return;
  if (auto line = readLine(Ms(15000))) {
    auto answer = nlohmann::json::parse(*line, nullptr, false);
    ready_ = answer.is_object() && answer.value("ready", false);
  }
}

FieldsApp::~FieldsApp() {
  if (toApp_ >= 0) close(toApp_);  // end of input: the window quits
  if (pid_ > 0) {
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 40 && !ended; ++i) {
      ended = waitpid(pid_, &status, WNOHANG) == pid_;
      if (!ended) usleep(50000);
    }
    if (!ended) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
  }
  if (fromApp_ >= 0) close(fromApp_);
}

std::optional<std::string> FieldsApp::readLine(Ms limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const auto newline = pending_.find('\n');
    if (newline != std::string::npos) {
      std::string line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd fd{fromApp_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(fromApp_, buffer, sizeof buffer);
    if (got <= 0) return std::nullopt;
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

void FieldsApp::send(const nlohmann::json& request) {
  if (toApp_ < 0) return;
  const std::string line = request.dump() + "\n";
  (void)!write(toApp_, line.data(), line.size());
}

std::optional<nlohmann::json> FieldsApp::command(const nlohmann::json& request, Ms limit) {
  if (!ready()) return std::nullopt;
  send(request);
  auto line = readLine(limit);
  if (!line) return std::nullopt;
  auto answer = nlohmann::json::parse(*line, nullptr, false);
  if (!answer.is_object()) return std::nullopt;
  return answer;
}

bool FieldsApp::set(const std::string& field, const std::string& text, std::optional<int> caret) {
  nlohmann::json request{{"cmd", "set"}, {"field", field}, {"text", text}};
  if (caret) request["caret"] = *caret;
  auto answer = command(request);
  return answer && answer->value("ok", false);
}

bool FieldsApp::focus(const std::string& field) {
  auto answer = command({{"cmd", "focus"}, {"field", field}});
  return answer && answer->value("ok", false);
}

std::optional<std::string> FieldsApp::text(const std::string& field) {
  auto answer = command({{"cmd", "get"}, {"field", field}});
  if (!answer || !answer->value("ok", false)) return std::nullopt;
  return answer->value("text", std::string());
}

bool FieldsApp::screenshot(const std::string& path) {
  auto answer = command({{"cmd", "screenshot"}, {"path", path}});
  return answer && answer->value("ok", false);
}

}  // namespace quorvel::testing
