// The two model servers as child processes on loopback HTTP.
#include "engine/Servers.h"

#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <limits>
#include <thread>

#include "audio/Wav.h"
#include "engine/Config.h"
#include "engine/Transcription.h"
#include "support/Http.h"
#include "support/Json.h"
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

// The last lines of a log, each indented, read from its end only (logs of a
// long run can be large).
std::string logTail(const fs::path& log, size_t lines) {
  std::ifstream in(log, std::ios::binary | std::ios::ate);
  if (!in) return {};
  const std::streamoff size = in.tellg();
  const std::streamoff start = std::max<std::streamoff>(0, size - 4096);
  in.seekg(start);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> kept;
  size_t end = text.size();
  while (end > 0 && kept.size() < lines) {
    size_t begin = text.rfind('\n', end - 1);
    begin = begin == std::string::npos ? 0 : begin + 1;
    std::string line = text.substr(begin, end - begin);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && !(begin == 0 && start > 0)) kept.push_back(std::move(line));
    end = begin == 0 ? 0 : begin - 1;
  }
  std::string tail;
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) tail += "\n  " + *it;
  return tail;
}

// One path in the server's comma-separated "--lora" list. The server reads the
// list as a CSV row, so a path with a comma or a double quote goes in quotes
// with its quotes doubled; any other path is written as it is.
std::string loraListField(const std::string& path) {
  if (path.find_first_of(",\"") == std::string::npos) return path;
  std::string field = "\"";
  for (char c : path) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + "\"";
}

}  // namespace

int speechServerThreads() {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  int available = 0;
  if (::sched_getaffinity(0, sizeof cpus, &cpus) == 0) available = CPU_COUNT(&cpus);
  if (available <= 0) available = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(available, 1, 4);
}

RestartBackoff::RestartBackoff(std::chrono::milliseconds first, std::chrono::milliseconds longest,
                               std::chrono::milliseconds settled)
    : first_(first), longest_(longest), settled_(settled) {}

void RestartBackoff::started(TimePoint now) { startedAt_ = now; }

void RestartBackoff::exited(TimePoint now) {
  const bool soon = startedAt_ && now - *startedAt_ < settled_;
  exitsInARow_ = soon && exitsInARow_ > 0 ? std::min(exitsInARow_ + 1, 40) : 1;
  dueAt_ = now + delay();
}

std::chrono::milliseconds RestartBackoff::delay() const {
  if (exitsInARow_ <= 1) return std::chrono::milliseconds(0);
  // first × 2^(n−2), doubled step by step so it never overflows.
  std::chrono::milliseconds wait = first_;
  for (int n = 2; n < exitsInARow_ && wait < longest_; ++n) wait *= 2;
  return std::min(wait, longest_);
}

bool RestartBackoff::due(TimePoint now, bool needed) const {
  if (now >= dueAt_) return true;
  return needed && (!startedAt_ || now - *startedAt_ >= first_);
}

Servers::Servers() : Servers(ServerWaits{}) {}
Servers::Servers(ServerWaits waits) : Servers(waits, RemoteSettings::current()) {}
Servers::Servers(ServerWaits waits, const RemoteSettings& remote)
    : waits_(waits),
      apiKey_(newApiKey()),
      whisperBackoff_(waits.restartFirstDelay, waits.restartLongestDelay, waits.restartSettled),
      llamaBackoff_(waits.restartFirstDelay, waits.restartLongestDelay, waits.restartSettled),
      expectedModel_(remote.cleanupModel) {
  if (!remote.speech.address.empty()) {
    speechRemote_ = RemoteServer::resolve(ServerKind::speech, remote.speech, remote.caFile);
  }
  if (!remote.cleanup.address.empty()) {
    languageRemote_ = RemoteServer::resolve(ServerKind::language, remote.cleanup, remote.caFile);
  }
  for (const auto& server : {speechRemote_, languageRemote_}) {
    if (!server) continue;
    logLine("Quorvel: the " + serverKindName(server->kind()) + " is at " + server->hostForUser() +
            "; no local one starts");
    if (auto problem = server->problem()) logLine("Quorvel: " + *problem);
  }
}
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
  options.endWithParent = true;  // a crash or kill of ours must not leave them running
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

Servers::Probe Servers::probe(const std::string& url, const std::shared_ptr<ChildProcess>& child,
                              std::int64_t port, const std::string& keyedUrl) const {
  if (child && !child->isRunning()) return Probe::exited;
  if (!ok(url)) return Probe::notYet;
  if (!child) return Probe::ready;  // a server someone else started (tests, a user's own)
  {
    std::scoped_lock lock(processMutex_);
    if (confirmed_.count(child) > 0) return Probe::ready;
  }
  // Something answers; make sure it is the server we started and not a stale
  // or foreign one on the port while ours is still loading or failing to bind.
  if (port > 0 && port <= 65535) {
    const auto listeners = processesListeningOn(static_cast<int>(port));
    if (std::find(listeners.begin(), listeners.end(), child->pid()) == listeners.end()) {
      return child->isRunning() ? Probe::notYet : Probe::exited;
    }
  }
  if (!keyedUrl.empty() && !ok(keyedUrl)) return Probe::notYet;
  // Once ours answered, later probes (one before every transcription) skip this.
  std::scoped_lock lock(processMutex_);
  confirmed_.insert(child);
  return Probe::ready;
}

Servers::Probe Servers::probeWhisper() const {
  if (speechRemote_) return probeRemoteSpeech();
  return probe(whisperAddress(), whisperProcess(), Config::whisperPort(), "");
}

Servers::Probe Servers::probeLlama() const {
  if (languageRemote_) return probeRemoteLanguage();
  // The language-model server answers "/health" without a key; a keyed
  // request shows it is ours and takes our key.
  return probe(llamaAddress(), llamaProcess(), Config::llamaPort(),
               loopbackAddress(Config::llamaPort(), "/v1/models"));
}

std::shared_ptr<ChildProcess> Servers::whisperProcess() const {
  std::scoped_lock lock(processMutex_);
  return whisper_;
}

std::shared_ptr<ChildProcess> Servers::llamaProcess() const {
  std::scoped_lock lock(processMutex_);
  return llama_;
}

void Servers::stopAndWait(const std::shared_ptr<ChildProcess>& process) {
  if (!process) return;
  process->terminate();  // once: a second signal would cut its shutdown short
  if (!process->waitForExit(waits_.exitGrace)) {
    logLine("Quorvel: server " + std::to_string(process->pid()) +
            " did not stop when asked; killing it");
    process->kill();
    process->waitForExit();
  }
}

void Servers::killStale() {
  std::vector<std::int64_t> ports;
  if (!speechRemote_) ports.push_back(Config::whisperPort());
  if (!languageRemote_) ports.push_back(Config::llamaPort());
  for (const std::int64_t port : ports) {
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
  whisperModel_ = modelFile;
  if (speechRemote_) return;  // the server elsewhere has its own model
  stopAndWait(retiringWhisper_);  // an earlier replaced one, long asked to stop
  {
    std::scoped_lock lock(processMutex_);
    if (whisper_) confirmed_.erase(whisper_);
    retiringWhisper_ = std::move(whisper_);
  }
  if (retiringWhisper_) retiringWhisper_->terminate();  // it exits on its own time
  stopped_ = false;
  whisperBackoff_.started(std::chrono::steady_clock::now());
  whisperOnNeuralEngine_ = isNeuralReady(modelFile);
  const fs::path model =
      whisperOnNeuralEngine_ ? NeuralEngine::modelPath(modelFile) : Config::models() / modelFile;
  std::shared_ptr<ChildProcess> started =
      launch(Config::whisperServer(),
             {"-m", model.string(), "--host", "127.0.0.1", "--port",
              std::to_string(Config::whisperPort()), "-t", std::to_string(speechServerThreads()),
              "-l", "en"},
             "whisper.log");
  std::scoped_lock lock(processMutex_);
  whisper_ = std::move(started);
}

void Servers::startLlama(const std::string& modelFile) {
  llamaModel_ = modelFile;
  if (languageRemote_) return;
  stopAndWait(llamaProcess());  // the port must be free before the new server binds it
  {
    std::scoped_lock lock(processMutex_);
    if (llama_) confirmed_.erase(llama_);
    llama_.reset();
  }
  stopped_ = false;
  llamaBackoff_.started(std::chrono::steady_clock::now());
  std::vector<std::string> arguments;
  if (Config::usesAdapters()) {
    std::optional<fs::path> cleanupLayer;
    std::string layerList;
    for (const auto& entry : Config::adapters()) {
      if (entry.name == "cleanup" && !cleanupLayer) cleanupLayer = entry.file;
      if (!layerList.empty()) layerList += ",";
      layerList += loraListField(entry.file.string());
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
  std::shared_ptr<ChildProcess> started =
      launch(Config::llamaServer(), arguments, "cleanup-model.log");
  std::scoped_lock lock(processMutex_);
  llama_ = std::move(started);
}

void Servers::waitForWhisper() {
  // A server elsewhere is not starting up: one look (none once it answered;
  // after a failure the request itself finds out, within the pause).
  if (speechRemote_) {
    (void)probeRemoteSpeech();
    return;
  }
  for (int round = 0; round < waits_.whisperProbes; ++round) {
    if (probeWhisper() != Probe::notYet) return;
    if (round + 1 < waits_.whisperProbes) std::this_thread::sleep_for(waits_.probePause);
  }
}

bool Servers::waitForLlama() {
  for (int round = 0; round < waits_.llamaProbes; ++round) {
    const Probe result = probeLlama();
    if (result != Probe::notYet) return result == Probe::ready;
    if (round + 1 < waits_.llamaProbes) std::this_thread::sleep_for(waits_.probePause);
  }
  return false;
}

bool Servers::waitUntilReady(std::chrono::duration<double> timeout) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::max(timeout, std::chrono::duration<double>(0)));
  while (std::chrono::steady_clock::now() < deadline) {
    auto speech = std::async(std::launch::async, [this] { return probeWhisper(); });
    const Probe language = probeLlama();
    const Probe speechResult = speech.get();
    if (speechResult == Probe::ready && language == Probe::ready) return true;
    if (speechResult == Probe::exited || language == Probe::exited) return false;
    std::this_thread::sleep_for(waits_.readyPause);
  }
  return false;
}

std::optional<std::string> Servers::exitReport(const std::shared_ptr<ChildProcess>& child,
                                               const std::string& what,
                                               const std::string& logName) {
  if (!child || child->isRunning()) return std::nullopt;
  const std::optional<int> status = child->exitStatus();
  std::string report = what + " exited (" + describeWaitStatus(status.value_or(-1)) + ")";
  const std::string tail = logTail(Config::logs() / logName, 5);
  if (!tail.empty()) report += "; the end of " + logName + ":" + tail;
  return report;
}

namespace {

// Probes of a server elsewhere that failed this often in a row end a wait:
// unlike a local server it is not starting up, and a dictation must not wait
// long for it.
constexpr int kRemoteTries = 3;

// A failure a retry in a few seconds will not mend (the setup, the key, the
// certificate, the model), or one that happened too often to wait for more.
bool lastingFailure(const RemoteServer& server) {
  if (!server.usable() || server.refusedKey() || server.failures() >= kRemoteTries) return true;
  switch (server.lastFailure()) {
    case RemoteFailure::certificate:
    case RemoteFailure::secureConnection:
    case RemoteFailure::wrongModel:
      return true;
    default:
      return false;
  }
}

// Half a second of silence: enough for the speech server to run its model.
const std::string& probeRecording() {
  static const std::string wav = wavData(Samples(8000, 0), 16000);
  return wav;
}

}  // namespace

Servers::Probe Servers::probeRemoteSpeech() const {
  RemoteServer& server = *speechRemote_;
  {
    std::scoped_lock lock(remoteMutex_);
    if (speechRemoteReady_ && !server.problem()) return Probe::ready;
  }
  if (!server.usable()) return Probe::exited;
  const std::string boundary = "quorvel-probe";
  auto request = server.request("/inference", "POST");
  if (!request) return lastingFailure(server) ? Probe::exited : Probe::notYet;
  request->headers.emplace_back("Content-Type", "multipart/form-data; boundary=" + boundary);
  request->body = speechRequestBody(boundary, probeRecording(), "");
  request->timeout = std::max(waits_.probeTimeout, kSpeechRequestTimeout);  // it runs the model
  const auto answer = httpFetch(*request);
  if (server.noteAnswer(answer)) return lastingFailure(server) ? Probe::exited : Probe::notYet;
  const auto json = parseJson(answer->body);
  if (!json || !json->is_object() || !stringMember(*json, "text")) {
    server.noteFailure(RemoteFailure::wrongAnswer, "its answer is not a speech server's");
    return Probe::notYet;
  }
  std::scoped_lock lock(remoteMutex_);
  speechRemoteReady_ = true;
  return Probe::ready;
}

Servers::Probe Servers::probeRemoteLanguage() const {
  RemoteServer& server = *languageRemote_;
  {
    std::scoped_lock lock(remoteMutex_);
    if (!remoteModel_.empty() && !server.problem()) return Probe::ready;
  }
  if (!server.usable()) return Probe::exited;
  auto request = server.request("/v1/models");
  if (!request) return lastingFailure(server) ? Probe::exited : Probe::notYet;
  request->timeout = std::max(waits_.probeTimeout, std::chrono::milliseconds(10000));
  const auto answer = httpFetch(*request);
  if (server.noteAnswer(answer)) return lastingFailure(server) ? Probe::exited : Probe::notYet;
  // {"data": [{"id": "name"}, ...]}: the models it serves.
  std::vector<std::string> models;
  if (const auto json = parseJson(answer->body); json && json->is_object()) {
    if (const auto data = json->find("data"); data != json->end() && data->is_array()) {
      for (const auto& entry : *data) {
        if (auto id = entry.is_object() ? stringMember(entry, "id") : std::nullopt) models.push_back(*id);
      }
    }
  }
  if (models.empty()) {
    server.noteFailure(RemoteFailure::wrongAnswer, "it lists no language model");
    return Probe::notYet;
  }
  std::string model = models.front();
  if (!expectedModel_.empty()) {
    if (std::find(models.begin(), models.end(), expectedModel_) == models.end()) {
      server.noteFailure(RemoteFailure::wrongModel, "it does not serve " + expectedModel_ + " (it serves " + models.front() + ")");
      return Probe::exited;
    }
    model = expectedModel_;
  }
  // The layers it loaded, when it is a server that has them; a layer whose
  // file is named cleanup… is the cleanup layer.
  std::vector<AdapterEntry> layers;
  if (auto lora = server.request("/lora-adapters")) {
    lora->timeout = request->timeout;
    if (const auto listed = httpFetch(*lora); listed && listed->status == 200) {
      if (const auto json = parseJson(listed->body); json && json->is_array()) {
        bool haveCleanup = false;
        for (const auto& entry : *json) {
          if (!entry.is_object()) continue;
          const auto id = entry.find("id");
          const auto path = stringMember(entry, "path");
          if (id == entry.end() || !id->is_number_integer() || !path) continue;
          const std::string file = fs::path(*path).filename().string();
          std::string name = fs::path(*path).stem().string();
          if (!haveCleanup && file.starts_with("cleanup")) {
            name = "cleanup";
            haveCleanup = true;
            Config::setLoadedCleanupLayer(fs::path(file));
          }
          layers.push_back({name, id->get<int>(), fs::path(*path)});
        }
      }
    }
  }
  std::scoped_lock lock(remoteMutex_);
  remoteModel_ = model;
  remoteLayers_ = std::move(layers);
  return Probe::ready;
}

std::string Servers::remoteModel() const {
  std::scoped_lock lock(remoteMutex_);
  return remoteModel_;
}

std::vector<AdapterEntry> Servers::remoteLayers() const {
  std::scoped_lock lock(remoteMutex_);
  return remoteLayers_;
}

bool Servers::usesLayers() const {
  if (!languageRemote_) return Config::usesAdapters();
  const auto remote = remoteLayers();
  return std::any_of(remote.begin(), remote.end(), [](const AdapterEntry& e) { return e.name == "cleanup"; });
}

std::vector<AdapterEntry> Servers::layers() const {
  if (!languageRemote_) return Config::usesAdapters() ? Config::adapters() : std::vector<AdapterEntry>{};
  return usesLayers() ? remoteLayers() : std::vector<AdapterEntry>{};
}

std::optional<std::string> Servers::remoteProblem() const {
  for (const auto& server : {speechRemote_, languageRemote_}) {
    if (!server) continue;
    if (auto problem = server->problem()) return problem;
  }
  return std::nullopt;
}

std::optional<std::string> Servers::whisperExit() {
  return exitReport(whisperProcess(), "the speech server", "whisper.log");
}

std::optional<std::string> Servers::llamaExit() {
  return exitReport(llamaProcess(), "the language model server", "cleanup-model.log");
}

bool Servers::restartExited(std::chrono::steady_clock::time_point now, bool speechNeeded) {
  if (stopped_) return false;
  // Each of the report and the restart is a log line of its own.
  const auto restart = [&](const std::shared_ptr<ChildProcess>& process, std::optional<std::string> report,
                           std::shared_ptr<ChildProcess>& seen, RestartBackoff& backoff, bool needed,
                           const std::string& what) {
    if (!report) return false;
    if (seen != process) {
      seen = process;
      backoff.exited(now);
      logLine("Quorvel: " + *report);
      const auto delay = backoff.delay();
      if (delay.count() > 0 && !needed) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(delay + std::chrono::milliseconds(999));
        logLine("Quorvel: it keeps exiting; starting the " + what + " again in " +
                std::to_string(seconds.count()) + " s");
      }
    }
    if (!backoff.due(now, needed)) return false;
    logLine("Quorvel: starting the " + what + " again");
    return true;
  };
  bool restarted = false;
  if (restart(whisperProcess(), whisperExit(), whisperExitSeen_, whisperBackoff_, speechNeeded, "speech server")) {
    startWhisper(whisperModel_);
    whisperBackoff_.started(now);
    restarted = true;
  }
  if (restart(llamaProcess(), llamaExit(), llamaExitSeen_, llamaBackoff_, false, "language model server")) {
    startLlama(llamaModel_);
    llamaBackoff_.started(now);
    restarted = true;
  }
  return restarted;
}

bool Servers::whisperAnswers() const { return probeWhisper() == Probe::ready; }

bool Servers::prepareNeuralEngine(const std::string& modelFile) {
  if (!NeuralEngine::enabled() || !NeuralEngine::available(modelFile)) return false;
  const std::int64_t port = Config::whisperPort();
  if (port > std::numeric_limits<std::int64_t>::max() - 100) return false;
  const std::int64_t trialPort = port + 100;
  std::shared_ptr<ChildProcess> trial =
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
  stopped_ = true;
  const auto whisper = whisperProcess();
  const auto llama = llamaProcess();
  // Both asked first so they shut down side by side; each exactly once.
  for (const auto& process : {retiringWhisper_, whisper, llama}) {
    if (process) process->terminate();
  }
  stopAndWait(retiringWhisper_);
  stopAndWait(whisper);
  stopAndWait(llama);
}

}  // namespace quorvel
