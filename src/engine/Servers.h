// Starts, probes and stops the two local model servers (speech and language
// model), moves speech onto the Neural Engine copy when its encoder loads,
// and clears stray servers left on the two ports by an earlier run.
//
// Threading: start, stop and kill are called from one thread at a time (the
// shell's main thread or an engine run's task); the waits block the calling
// task's thread and may run on any thread, also concurrently with each other.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/Config.h"
#include "engine/RemoteServer.h"
#include "support/ChildProcess.h"

namespace quorvel {

// How long the waits last. The defaults are the product's; tests shorten them.
struct ServerWaits {
  std::chrono::milliseconds probeTimeout{2000};
  std::chrono::milliseconds probePause{300};  // between probes of waitFor…
  int whisperProbes = 150;
  int llamaProbes = 200;
  std::chrono::milliseconds readyPause{400};  // between rounds of waitUntilReady
  int trialProbes = 600;                      // the Neural Engine trial's first load compiles
  std::chrono::milliseconds trialPause{500};
  std::chrono::milliseconds staleSettle{300};  // after signalling stale servers
  // A server that ignores the terminate signal this long is killed.
  std::chrono::milliseconds exitGrace{10000};
  // A server that exited on its own is started again at most this often.
  std::chrono::milliseconds restartSpacing{60000};
};

// Threads for the speech server: 4, or fewer when fewer processors are ours
// (more threads than cores slows it down).
int speechServerThreads();

// A server of either kind may run on another machine (RemoteSettings): then
// no local process of that kind starts, its requests go there with the
// user's key, and it is ready once a keyed request shows its model answers.
class Servers {
 public:
  Servers();
  explicit Servers(ServerWaits waits);
  Servers(ServerWaits waits, const RemoteSettings& remote);
  ~Servers();
  Servers(const Servers&) = delete;
  Servers& operator=(const Servers&) = delete;

  // 32 upper-case hexadecimal characters, fixed for the object's life, never
  // stored and never put on a command line.
  const std::string& apiKey() const { return apiKey_; }

  // Stops our own servers (or their stand-ins) still listening on the two
  // ports; any other listener is left alone and logged.
  void killStale();
  // Replaces the speech server without waiting for the old one to exit.
  void startWhisper(const std::string& modelFile);
  // Replaces the language-model server once the old one has exited.
  void startLlama(const std::string& modelFile);

  // Waits for the speech server to answer (at most whisperProbes probes).
  // Every wait ends at once when the server we started has exited, and never
  // takes another program answering on the port for ours.
  void waitForWhisper();
  // Waits for the language-model server; whether it answered. Ready means
  // "/health" answers and a request with our key is accepted.
  bool waitForLlama();
  // Probes both servers together until both answer or the time is up; a
  // zero time-out answers false without probing.
  bool waitUntilReady(std::chrono::duration<double> timeout = std::chrono::seconds(120));

  // When the server we started has exited: how it ended and the last lines of
  // its log, for the user; nothing while it runs or before it was started.
  std::optional<std::string> whisperExit();
  std::optional<std::string> llamaExit();

  // Starts again, with the same model, a server that exited on its own (not
  // through stopAll), at most once per restartSpacing per server, and logs it.
  // Whether a server was started. The application calls it periodically.
  bool restartExited(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
  // Tries the speech model with its Neural Engine encoder on a trial server
  // (port + 100) without disturbing the running one; whether the encoder loaded.
  bool prepareNeuralEngine(const std::string& modelFile);

  // Terminates both servers and waits for them to exit.
  void stopAll();

  bool whisperOnNeuralEngine() const { return whisperOnNeuralEngine_; }
  bool isNeuralReady(const std::string& modelFile) const;
  std::shared_ptr<ChildProcess> whisperProcess() const;
  std::shared_ptr<ChildProcess> llamaProcess() const;

  std::string whisperAddress() const;  // readiness address of the speech server
  std::string llamaAddress() const;    // readiness address of the language-model server

  // The servers elsewhere, or null for a local one.
  const std::shared_ptr<RemoteServer>& speechRemote() const { return speechRemote_; }
  const std::shared_ptr<RemoteServer>& languageRemote() const { return languageRemote_; }
  // What the language model server elsewhere said it serves, once it was
  // ready: the model's name for the request, and its layers (the cleanup
  // layer named "cleanup").
  std::string remoteModel() const;
  std::vector<AdapterEntry> remoteLayers() const;
  // Whether requests carry layers: those of the server elsewhere, or the
  // local files (Config::usesAdapters).
  bool usesLayers() const;
  std::vector<AdapterEntry> layers() const;
  // One line per server elsewhere that is failing, for the status menu.
  std::optional<std::string> remoteProblem() const;

 private:
  std::unique_ptr<ChildProcess> launch(const fs::path& executable,
                                       const std::vector<std::string>& arguments,
                                       const std::string& logName);
  bool ok(const std::string& url) const;
  enum class Probe { ready, notYet, exited };
  Probe probe(const std::string& url, const std::shared_ptr<ChildProcess>& child,
              std::int64_t port, const std::string& keyedUrl) const;
  Probe probeWhisper() const;
  Probe probeLlama() const;
  Probe probeRemoteSpeech() const;
  Probe probeRemoteLanguage() const;
  void stopAndWait(const std::shared_ptr<ChildProcess>& process);
  std::optional<std::string> exitReport(const std::shared_ptr<ChildProcess>& child,
                                        const std::string& what, const std::string& logName);

  const ServerWaits waits_;
  const std::string apiKey_;
  // The pointers are guarded by processMutex_ (the waits read them from other
  // threads); the processes themselves are safe to ask from any thread.
  mutable std::mutex processMutex_;
  std::shared_ptr<ChildProcess> whisper_;
  std::shared_ptr<ChildProcess> llama_;
  // A replaced speech server still shutting down; reaped by the next stop.
  std::shared_ptr<ChildProcess> retiringWhisper_;
  // Our processes seen answering on their own port (held, so never mistaken
  // for a later one at the same address); dropped when replaced.
  mutable std::set<std::shared_ptr<ChildProcess>> confirmed_;  // guarded by processMutex_
  // Owned by the starting thread (start, stop and restart are not concurrent).
  std::string whisperModel_, llamaModel_;  // what each was last started with
  bool stopped_ = false;                   // stopAll ended them: not to be restarted
  std::optional<std::chrono::steady_clock::time_point> whisperRestarted_, llamaRestarted_;
  mutable std::mutex neuralMutex_;
  std::set<std::string> neuralReady_;  // guarded by neuralMutex_
  bool whisperOnNeuralEngine_ = false;

  std::shared_ptr<RemoteServer> speechRemote_, languageRemote_;
  std::string expectedModel_;  // the language model a server elsewhere must list, or ""
  mutable std::mutex remoteMutex_;
  mutable bool speechRemoteReady_ = false;        // guarded by remoteMutex_
  mutable std::string remoteModel_;               // guarded by remoteMutex_
  mutable std::vector<AdapterEntry> remoteLayers_;  // guarded by remoteMutex_
};

}  // namespace quorvel
