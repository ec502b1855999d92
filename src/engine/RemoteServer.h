// A model server another machine runs for us: where it is, its key, the
// certificate authority to trust, and how it has been answering. A failed
// request makes the next ones wait a growing pause (1 s doubling up to 30 s)
// before any traffic goes out again, so a server that is down never gets a
// storm of retries; the first success ends the pause.
//
// Threading: every operation may be called from any thread.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "engine/RemoteAddress.h"
#include "support/Http.h"
#include "support/Result.h"

namespace quorvel {

enum class ServerKind { speech, language };

// "speech server" or "language model server".
std::string serverKindName(ServerKind kind);

// What the user chose for one kind of server; an empty address means the
// local one.
struct RemoteChoice {
  std::string address;
  std::string keyFile;
  bool allowUnencrypted = false;
};

struct RemoteSettings {
  RemoteChoice speech;
  RemoteChoice cleanup;
  std::string caFile;  // an extra certificate authority, or "" for the system's store
  // The language model the server elsewhere must serve (QUORVEL_CLEANUP_MODEL,
  // else the default "cleanupModel"); "" takes the first it lists.
  std::string cleanupModel;

  // QUORVEL_SPEECH_SERVER, QUORVEL_SPEECH_KEY_FILE, QUORVEL_CLEANUP_SERVER,
  // QUORVEL_CLEANUP_KEY_FILE and QUORVEL_CA_FILE when set, else the user
  // defaults "speechServer", "speechKeyFile", "cleanupServer",
  // "cleanupKeyFile" and "caFile". Plain HTTP to a machine elsewhere is
  // allowed only for the address written in QUORVEL_ALLOW_UNENCRYPTED or in
  // the default "speechUnencrypted" / "cleanupUnencrypted" (so the tick goes
  // when the address changes).
  static RemoteSettings current();
};

// What kind of failure a server elsewhere had last, for the callers that
// decide by it (whether waiting longer can help); the words for the user are
// kept beside it.
enum class RemoteFailure {
  none,
  connection,        // refused, timed out, name unknown, dropped, or another transfer error
  certificate,       // its certificate is not trusted
  secureConnection,  // the TLS handshake failed
  refusedKey,        // 401 or 403
  httpStatus,        // another status outside 2xx
  wrongAnswer,       // an answer that is not (yet) what was asked for: no JSON, no model listed
  wrongModel,        // it serves another language model than the one asked for
};

struct RemoteFailureReason {
  RemoteFailure kind = RemoteFailure::connection;
  std::string words;
};

// Why a transfer to a server elsewhere failed, in the user's words (a refused
// connection, a time-out, an untrusted certificate...) with its kind.
RemoteFailureReason remoteTransferFailure(std::string_view httpError);
// The words alone.
std::string describeRemoteFailure(std::string_view httpError);

class RemoteServer {
 public:
  struct Pause {
    std::chrono::milliseconds first{1000};
    std::chrono::milliseconds longest{30000};
  };

  // The address checked and the key read. A problem with either is kept and
  // every request fails at once with it, before anything is sent.
  static std::shared_ptr<RemoteServer> resolve(ServerKind kind, const RemoteChoice& choice,
                                               const std::string& caFile, Pause pause);
  static std::shared_ptr<RemoteServer> resolve(ServerKind kind, const RemoteChoice& choice,
                                               const std::string& caFile) {
    return resolve(kind, choice, caFile, Pause{});
  }

  ServerKind kind() const { return kind_; }
  // "gpu.example:8443" (or the address as written when it did not parse).
  const std::string& hostForUser() const { return host_; }
  bool usable() const { return !setupProblem_; }

  // A request to the endpoint with the key and the certificate authority, or
  // the reason it must not be sent now (a setup problem, or the pause after
  // a failure). The caller reports how it went with noteAnswer.
  Result<HttpRequest> request(std::string_view endpoint, std::string method = "GET") const;
  // How a request went: the transfer's result. A status outside 2xx or a
  // failed transfer is a failure (and starts or lengthens the pause); the
  // failure's reason is answered, or nothing when it went well.
  std::optional<std::string> noteAnswer(const Result<HttpResponse>& answer);
  // A failure found in an answer that arrived (a missing model, an answer of
  // the wrong kind).
  void noteFailure(RemoteFailure kind, const std::string& reason);
  // The kind of the last failure; none while it answers (or when only the
  // setup is wrong: usable() says that).
  RemoteFailure lastFailure() const;

  // "Can't reach the speech server at HOST: REASON" while the last request
  // failed (or the setup is wrong); nothing while it answers.
  std::optional<std::string> problem() const;
  // Failures in a row since the last success.
  int failures() const;
  // The last answer was 401 or 403: the server refused our key.
  bool refusedKey() const;
  // "the language model server refused the key (401)" after such an answer.
  std::optional<std::string> refusal() const;

 private:
  RemoteServer(ServerKind kind, Pause pause) : kind_(kind), pause_(pause) {}

  const ServerKind kind_;
  const Pause pause_;
  std::string host_;
  std::optional<ServerAddress> address_;
  std::string key_;
  std::optional<std::string> caFile_;
  std::optional<std::string> setupProblem_;

  mutable std::mutex mutex_;
  int failures_ = 0;                                           // guarded by mutex_
  std::chrono::steady_clock::time_point retryAt_;              // guarded by mutex_
  std::optional<std::string> lastFailure_;                     // guarded by mutex_
  RemoteFailure lastKind_ = RemoteFailure::none;               // guarded by mutex_
  long refusedStatus_ = 0;                                     // guarded by mutex_
};

// A work request to one of the two model servers: the remote one's when an
// address is set (or why nothing may be sent now, in the words of its
// problem), else the local server's on loopback with the key Quorvel gave it.
Result<HttpRequest> modelServerRequest(const RemoteServer* remote, int localPort, const std::string& localKey,
                                       std::string_view endpoint, std::string method);

}  // namespace quorvel
