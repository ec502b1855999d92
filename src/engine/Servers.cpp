// The two model servers as child processes on loopback HTTP.
#include "engine/Servers.h"

#include <signal.h>

#include <future>
#include <limits>
#include <thread>

#include "engine/Config.h"
#include "support/Http.h"
#include "support/Log.h"
#include "support/PortListeners.h"
#include "support/Uuid.h"

namespace quorvel {
namespace {

std::string newApiKey() {
  std::string key;
  for (char c : randomUuid()) {
    if (c != '-') key.push_back(c);
  }
  return key;
}

std::string loopbackAddress(std::int64_t port, const char* path) {
  return "http://127.0.0.1:" + std::to_string(port) + path;
}

// Whether a listening process is one of ours: the configured helper, or a
// program named like a speech or language-model server or their stand-ins.
bool isOurServer(const std::string& executable) {
  if (executable.empty()) return false;
  const fs::path path(executable);
  std::error_code error;
  for (const fs::path& helper : {Config::whisperServer(), Config::llamaServer()}) {
    if (fs::equivalent(path, helper, error)) return true;
  }
  const std::string name = path.filename().string();
  return name == "whisper-server" || name == "llama-server" ||
         name == "quorvel-standin-whisper" || name == "quorvel-standin-llama";
}

}  // namespace

Servers::Servers() : Servers(ServerWaits{}) {}
Servers::Servers(ServerWaits waits) : waits_(waits), apiKey_(newApiKey()) {}
Servers::~Servers() = default;

std::string Servers::whisperAddress() const { return loopbackAddress(Config::whisperPort(), "/"); }
std::string Servers::llamaAddress() const { return loopbackAddress(Config::llamaPort(), "/health"); }

std::unique_ptr<ChildProcess> Servers::launch(const fs::path& executable,
                                              const std::vector<std::string>& arguments,
                                              const std::string& logName) {
  createFolders(Config::logs());
  const fs::path log = Config::logs() / logName;
  // Each launch starts its log empty.
  const bool logReady = writeFileAtomically(log, "").ok();
  LaunchOptions options;
  options.executable = executable.string();
  options.arguments = arguments;
  options.extraEnvironment = {{"QUORVEL_ENGINE_KEY", apiKey_}, {"LLAMA_API_KEY", apiKey_}};
  if (logReady) options.outputFile = log;
  auto launched = ChildProcess::launch(options);
  if (!launched) {
    logLine("Quorvel: could not start " + executable.string() + ": " + launched.error());
    return nullptr;
  }
  return std::move(*launched);
}

bool Servers::ok(const std::string& url) const {
  HttpRequest request;
  request.url = url;
  request.timeout = waits_.probeTimeout;
  request.headers = {{"Authorization", "Bearer " + apiKey_}};
  auto response = httpFetch(request);
  return response && response->status == 200;
}

void Servers::stopAndWait(std::unique_ptr<ChildProcess>& process) {
  if (!process) return;
  process->terminate();
  if (!process->waitForExit(waits_.exitGrace)) {
    logLine("Quorvel: server " + std::to_string(process->pid()) +
            " did not stop when asked; killing it");
    process->kill();
    process->waitForExit();
  }
}

void Servers::killStale() {
  for (const std::int64_t port : {Config::whisperPort(), Config::llamaPort()}) {
    if (port <= 0 || port > 65535) continue;  // nothing can listen there
    for (const pid_t pid : processesListeningOn(static_cast<int>(port))) {
      const std::string executable = executableOfProcess(pid);
      if (isOurServer(executable)) {
        ::kill(pid, SIGTERM);
      } else {
        logLine("Quorvel: port " + std::to_string(port) + " is taken by " +
                (executable.empty() ? std::string("another program") : executable) + " (pid " +
                std::to_string(pid) + "); leaving it running");
      }
    }
  }
  std::this_thread::sleep_for(waits_.staleSettle);
}

void Servers::startWhisper(const std::string& modelFile) {
  if (whisper_) whisper_->terminate();  // the old one exits on its own time
  whisperOnNeuralEngine_ = isNeuralReady(modelFile);
  const fs::path model =
      whisperOnNeuralEngine_ ? NeuralEngine::modelPath(modelFile) : Config::models() / modelFile;
  whisper_ = launch(Config::whisperServer(),
                    {"-m", model.string(), "--host", "127.0.0.1", "--port",
                     std::to_string(Config::whisperPort()), "-t", "4", "-l", "en"},
                    "whisper.log");
}

void Servers::startLlama(const std::string& modelFile) {
  stopAndWait(llama_);  // the port must be free before the new server binds it
  llama_.reset();
  std::vector<std::string> arguments;
  if (Config::usesAdapters()) {
    std::optional<fs::path> cleanupLayer;
    std::string layerList;
    for (const auto& entry : Config::adapters()) {
      if (entry.name == "cleanup" && !cleanupLayer) cleanupLayer = entry.file;
      if (!layerList.empty()) layerList += ",";
      layerList += entry.file.string();
    }
    Config::setLoadedCleanupLayer(cleanupLayer);
    arguments = {"-m", Config::baseModelPath().string(), "--lora-init-without-apply", "--lora",
                 layerList};
  } else {
    arguments = {"-m", (Config::models() / modelFile).string()};
  }
  const std::vector<std::string> fixed = {
      "--host", "127.0.0.1", "--port", std::to_string(Config::llamaPort()),
      "-c", "4096", "-np", "1", "-fa", "on", "--jinja", "--no-webui", "--no-slots",
      "--spec-type", "ngram-simple", "--spec-ngram-simple-size-n", "2",
      "--spec-ngram-simple-size-m", "8"};
  arguments.insert(arguments.end(), fixed.begin(), fixed.end());
  llama_ = launch(Config::llamaServer(), arguments, "cleanup-model.log");
}

void Servers::waitForWhisper() {
  const std::string address = whisperAddress();
  for (int probe = 0; probe < waits_.whisperProbes; ++probe) {
    if (ok(address)) return;
    if (probe + 1 < waits_.whisperProbes) std::this_thread::sleep_for(waits_.probePause);
  }
}

bool Servers::waitForLlama() {
  const std::string address = llamaAddress();
  for (int probe = 0; probe < waits_.llamaProbes; ++probe) {
    if (ok(address)) return true;
    if (probe + 1 < waits_.llamaProbes) std::this_thread::sleep_for(waits_.probePause);
  }
  return false;
}

bool Servers::waitUntilReady(std::chrono::duration<double> timeout) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::max(timeout, std::chrono::duration<double>(0)));
  const std::string whisperUrl = whisperAddress();
  const std::string llamaUrl = llamaAddress();
  while (std::chrono::steady_clock::now() < deadline) {
    auto speech = std::async(std::launch::async, [&] { return ok(whisperUrl); });
    const bool language = ok(llamaUrl);
    if (speech.get() && language) return true;
    std::this_thread::sleep_for(waits_.readyPause);
  }
  return false;
}

bool Servers::prepareNeuralEngine(const std::string& modelFile) {
  if (!NeuralEngine::enabled() || !NeuralEngine::available(modelFile)) return false;
  const std::int64_t port = Config::whisperPort();
  if (port > std::numeric_limits<std::int64_t>::max() - 100) return false;
  const std::int64_t trialPort = port + 100;
  std::unique_ptr<ChildProcess> trial =
      launch(Config::whisperServer(),
             {"-m", NeuralEngine::modelPath(modelFile).string(), "--host", "127.0.0.1", "--port",
              std::to_string(trialPort), "-t", "2", "-l", "en"},
             "whisper-neural-engine.log");
  if (!trial) return false;

  bool loaded = false;
  const std::string address = loopbackAddress(trialPort, "/");
  for (int probe = 0; probe < waits_.trialProbes; ++probe) {
    if (ok(address)) {
      const std::string log =
          readWholeFile(Config::logs() / "whisper-neural-engine.log").value_or("");
      loaded = log.find("Core ML model loaded") != std::string::npos;
      break;
    }
    if (!trial->isRunning()) break;  // it gave up: no point waiting minutes
    std::this_thread::sleep_for(waits_.trialPause);
  }
  stopAndWait(trial);
  if (loaded) {
    std::scoped_lock lock(neuralMutex_);
    neuralReady_.insert(modelFile);
  }
  return loaded;
}

bool Servers::isNeuralReady(const std::string& modelFile) const {
  std::scoped_lock lock(neuralMutex_);
  return neuralReady_.count(modelFile) > 0;
}

void Servers::stopAll() {
  if (whisper_) whisper_->terminate();
  if (llama_) llama_->terminate();
  stopAndWait(whisper_);
  stopAndWait(llama_);
}

}  // namespace quorvel
