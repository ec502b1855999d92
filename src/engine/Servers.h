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
};

class Servers {
 public:
  Servers();
  explicit Servers(ServerWaits waits);
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
  void waitForWhisper();
  // Waits for the language-model server; whether it answered.
  bool waitForLlama();
  // Probes both servers together until both answer or the time is up; a
  // zero time-out answers false without probing.
  bool waitUntilReady(std::chrono::duration<double> timeout = std::chrono::seconds(120));
  // Tries the speech model with its Neural Engine encoder on a trial server
  // (port + 100) without disturbing the running one; whether the encoder loaded.
  bool prepareNeuralEngine(const std::string& modelFile);

  // Terminates both servers and waits for them to exit.
  void stopAll();

  bool whisperOnNeuralEngine() const { return whisperOnNeuralEngine_; }
  bool isNeuralReady(const std::string& modelFile) const;
  ChildProcess* whisperProcess() { return whisper_.get(); }
  ChildProcess* llamaProcess() { return llama_.get(); }

  std::string whisperAddress() const;  // readiness address of the speech server
  std::string llamaAddress() const;    // readiness address of the language-model server

 private:
  std::unique_ptr<ChildProcess> launch(const fs::path& executable,
                                       const std::vector<std::string>& arguments,
                                       const std::string& logName);
  bool ok(const std::string& url) const;
  void stopAndWait(std::unique_ptr<ChildProcess>& process);

  const ServerWaits waits_;
  const std::string apiKey_;
  std::unique_ptr<ChildProcess> whisper_;
  std::unique_ptr<ChildProcess> llama_;
  mutable std::mutex neuralMutex_;
  std::set<std::string> neuralReady_;  // guarded by neuralMutex_
  bool whisperOnNeuralEngine_ = false;
};

}  // namespace quorvel
