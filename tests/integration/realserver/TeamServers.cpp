#include "TeamServers.h"

#include <sys/wait.h>

#include <thread>

#include "RealServerFixture.h"
#include "support/Http.h"

namespace quorvel::testing {

using namespace std::chrono_literals;

namespace {

void stop(std::unique_ptr<ChildProcess>& process) {
  if (!process) return;
  process->terminate();
  if (!process->waitForExit(10s)) {
    process->kill();
    process->waitForExit(5s);
  }
  process.reset();
}

long statusOf(const std::string& url, const std::optional<std::string>& caFile) {
  HttpRequest request;
  request.url = url;
  request.timeout = 2s;
  request.caFile = caFile;
  const auto answer = httpFetch(request);
  return answer ? answer->status : 0;
}

}  // namespace

TeamServers::TeamServers(const fs::path& dir, const std::vector<std::string>& users, bool withLayer)
    : dir_(dir), withLayer_(withLayer) {
  fs::create_directories(dir_);
  const auto note = [this](const std::string& error) {
    if (setupError_.empty()) setupError_ = error;
  };
  note(script({"ca", dir_.string(), "localhost", "127.0.0.1"}));
  for (const auto& user : users) note(script({"key", dir_.string(), user}));
  note(script({"site", dir_.string(), std::to_string(proxyPort_), "127.0.0.1:" + std::to_string(speechPort_),
               "127.0.0.1:" + std::to_string(languagePort_)}));
}

TeamServers::~TeamServers() {
  stop(proxy_);
  stop(speech_);
  stop(language_);
}

std::string TeamServers::script(const std::vector<std::string>& arguments) {
  LaunchOptions options;
  options.executable = QUORVEL_SHARED_SERVERS_SCRIPT;
  options.arguments = arguments;
  options.outputFile = dir_ / "script.txt";
  auto run = ChildProcess::launch(options);
  if (!run) return run.error();
  if (!(*run)->waitForExit(60s)) {
    (*run)->kill();
    (*run)->waitForExit(5s);
    return "shared-servers " + arguments.front() + " took over a minute";
  }
  const auto status = (*run)->exitStatus();
  if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
    return "shared-servers " + arguments.front() + " failed: " + readTextFile(dir_ / "script.txt");
  }
  return "";
}

std::unique_ptr<ChildProcess> TeamServers::serve(const std::vector<std::string>& arguments,
                                                 const std::string& log) {
  LaunchOptions options;
  options.executable = QUORVEL_SHARED_SERVERS_SCRIPT;
  options.arguments = arguments;
  options.outputFile = dir_ / log;
  options.extraEnvironment = {{"WHISPER_SERVER", realServer("whisper-server").string()},
                              {"LLAMA_SERVER", realServer("llama-server").string()}};
  options.endWithParent = true;
  auto launched = ChildProcess::launch(options);
  return launched ? std::move(*launched) : nullptr;
}

std::string TeamServers::start() {
  if (!setupError_.empty()) return setupError_;
  const fs::path layer = dir_ / "cleanup-3.gguf";
  if (withLayer_) fs::copy_file(realServerModel("adapter.gguf"), layer, fs::copy_options::overwrite_existing);
  speech_ = serve({"speech", realServerModel("speech-tiny.en.bin").string(), std::to_string(speechPort_), "2"},
                  "speech.log");
  std::vector<std::string> language = {"language", realServerModel("model.gguf").string(),
                                       std::to_string(languagePort_), "2"};
  if (withLayer_) language.push_back(layer.string());
  language_ = serve(language, "language.log");
  proxy_ = serve({"proxy", dir_.string()}, "proxy.log");
  if (!speech_ || !language_ || !proxy_) return "a server could not be started";
  const std::string loopback = "http://127.0.0.1:";
  const bool ready = eventually(
      [&] {
        return statusOf(loopback + std::to_string(speechPort_) + "/", std::nullopt) == 200 &&
               statusOf(loopback + std::to_string(languagePort_) + "/health", std::nullopt) == 200 &&
               statusOf("https://127.0.0.1:" + std::to_string(proxyPort_) + "/", caFile().string()) == 401;
      },
      60s);
  if (ready) return "";
  return "not ready in a minute:\n" + readTextFile(dir_ / "speech.log") + readTextFile(dir_ / "language.log") +
         readTextFile(dir_ / "proxy.log");
}

std::string TeamServers::speechAddress() const {
  return "https://127.0.0.1:" + std::to_string(proxyPort_) + "/speech";
}

std::string TeamServers::languageAddress() const {
  return "https://127.0.0.1:" + std::to_string(proxyPort_) + "/language";
}

std::string TeamServers::accessLog() const {
  const fs::path log = dir_ / "logs" / "access.log";
  return fs::exists(log) ? readTextFile(log) : "";
}

void TeamServers::stopProxy() { stop(proxy_); }

}  // namespace quorvel::testing
