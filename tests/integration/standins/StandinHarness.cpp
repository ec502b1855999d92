// Test harness for the stand-in servers.
#include "StandinHarness.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "TestSupport.h"

extern char** environ;

namespace quorvel::testing {

namespace {

using namespace std::chrono_literals;

bool inherited(const std::string& entry) {
  const std::string name = entry.substr(0, entry.find('='));
  return name != "QUORVEL_ENGINE_KEY" && name != "LLAMA_API_KEY" && name.rfind("QUORVEL_STANDIN_", 0) != 0;
}

void appendLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

int statusOf(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

}  // namespace

StandinProcess::StandinProcess(const std::string& program, const std::vector<std::string>& args,
                               const std::map<std::string, std::string>& environment, const fs::path& folder)
    : out_(folder / (program + "-" + std::to_string(::getpid()) + "-out.txt")),
      err_(folder / (program + "-" + std::to_string(::getpid()) + "-err.txt")) {
  static int serial = 0;
  const std::string suffix = std::to_string(++serial);
  out_ += suffix;
  err_ += suffix;
  const std::string executable = buildProgram(program).string();

  std::vector<std::string> envStrings;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (inherited(*entry) && environment.count(std::string(*entry).substr(0, std::strcspn(*entry, "="))) == 0) {
      envStrings.emplace_back(*entry);
    }
  }
  for (const auto& [name, value] : environment) envStrings.push_back(name + "=" + value);

  std::vector<std::string> argStrings{executable};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : envStrings) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int error = ::posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + executable + ": " + std::strerror(error));
}

StandinProcess::~StandinProcess() {
  if (status_ || pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int raw = 0;
  ::waitpid(pid_, &raw, 0);
}

std::optional<int> StandinProcess::waitExit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!status_) {
    int raw = 0;
    const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
    if (done == pid_) {
      status_ = statusOf(raw);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(10ms);
  }
  return status_;
}

std::optional<int> StandinProcess::terminate(std::chrono::milliseconds limit) {
  if (!status_) ::kill(pid_, SIGTERM);
  return waitExit(limit);
}

std::string StandinProcess::standardOutput() const { return readTextFile(out_); }
std::string StandinProcess::standardError() const { return readTextFile(err_); }

std::unique_ptr<httplib::Client> loopbackClient(int port, std::chrono::milliseconds readTimeout) {
  auto client = std::make_unique<httplib::Client>("127.0.0.1", port);
  client->set_connection_timeout(1, 0);
  client->set_read_timeout(readTimeout);
  client->set_write_timeout(5, 0);
  return client;
}

httplib::Headers bearer(const std::string& key) { return {{"Authorization", "Bearer " + key}}; }

bool waitForStatus200(int port, const std::string& path, const std::string& key, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  auto client = loopbackClient(port, 1s);
  while (std::chrono::steady_clock::now() < deadline) {
    if (auto result = client->Get(path.c_str(), bearer(key)); result && result->status == 200) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

std::string wavBytes(std::size_t samples) {
  std::string fmt;
  appendLe(fmt, 1, 2);       // PCM
  appendLe(fmt, 1, 2);       // mono
  appendLe(fmt, 16000, 4);   // sample rate
  appendLe(fmt, 32000, 4);   // byte rate
  appendLe(fmt, 2, 2);       // block align
  appendLe(fmt, 16, 2);      // bits per sample
  std::string body = "WAVE";
  body += "fmt ";
  appendLe(body, static_cast<std::uint32_t>(fmt.size()), 4);
  body += fmt;
  const std::string list = "INFOabcde";  // an odd size, so a pad byte follows
  body += "LIST";
  appendLe(body, static_cast<std::uint32_t>(list.size()), 4);
  body += list;
  body.push_back('\0');
  body += "data";
  appendLe(body, static_cast<std::uint32_t>(samples * 2), 4);
  for (std::size_t i = 0; i < samples; ++i) appendLe(body, static_cast<std::uint32_t>(i * 37 % 600), 2);
  std::string wav = "RIFF";
  appendLe(wav, static_cast<std::uint32_t>(body.size()), 4);
  return wav + body;
}

MultipartBody transcriptionForm(const std::string& prompt, const std::string& wav, const std::string& responseFormat) {
  const std::string boundary = "quorvel-0F2A4C6E-8A0B-4C2D-9E1F-203142536475";
  std::string body;
  for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
           {"response_format", responseFormat}, {"temperature", "0"}, {"prompt", prompt}}) {
    body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
  }
  body += "--" + boundary +
          "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\nContent-Type: "
          "audio/wav\r\n\r\n";
  body += wav;
  body += "\r\n--" + boundary + "--\r\n";
  return {"multipart/form-data; boundary=" + boundary, body};
}

std::vector<nlohmann::json> readJsonLines(const fs::path& path) {
  std::vector<nlohmann::json> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    auto parsed = nlohmann::json::parse(line, nullptr, false);
    if (!parsed.is_discarded()) lines.push_back(std::move(parsed));
  }
  return lines;
}

std::vector<std::string> eventPayloads(const std::string& body) {
  std::vector<std::string> payloads;
  std::istringstream lines(body);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("data: ", 0) == 0) payloads.push_back(line.substr(6));
  }
  return payloads;
}

}  // namespace quorvel::testing
