// A team's model servers on loopback, set up by scripts/shared-servers as the
// deployment page says: the real whisper-server and llama-server with the
// small test models, nginx in front terminating TLS with a certificate
// authority made for the run, and one key per user. Everything started is
// stopped when the object ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "support/ChildProcess.h"

namespace quorvel::testing {

class TeamServers {
 public:
  // users: the names that get a key; withLayer: the language server loads
  // the cleanup layer.
  TeamServers(const fs::path& dir, const std::vector<std::string>& users, bool withLayer);
  ~TeamServers();
  TeamServers(const TeamServers&) = delete;
  TeamServers& operator=(const TeamServers&) = delete;

  // Starts the servers and the proxy and waits (bounded) until all answer;
  // the reason when they did not.
  std::string start();

  std::string speechAddress() const;    // https://127.0.0.1:PORT/speech
  std::string languageAddress() const;  // https://127.0.0.1:PORT/language
  fs::path caFile() const { return dir_ / "ca.pem"; }
  fs::path keyFile(const std::string& user) const { return dir_ / "keys" / user; }
  std::string accessLog() const;
  int proxyPort() const { return proxyPort_; }

  // The proxy ends as a stopped service does (connections close).
  void stopProxy();
  ChildProcess& speechServer() { return *speech_; }
  ChildProcess& languageServer() { return *language_; }

 private:
  std::string script(const std::vector<std::string>& arguments);
  std::unique_ptr<ChildProcess> serve(const std::vector<std::string>& arguments, const std::string& log);

  fs::path dir_;
  bool withLayer_;
  std::string setupError_;  // the first failure of the setup commands
  int speechPort_ = freeLoopbackPort();
  int languagePort_ = freeLoopbackPort();
  int proxyPort_ = freeLoopbackPort();
  std::unique_ptr<ChildProcess> speech_, language_, proxy_;
};

}  // namespace quorvel::testing
