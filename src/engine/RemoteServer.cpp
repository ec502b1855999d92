// Model servers elsewhere: settings, requests with the key, and the pause
// after failures.
#include "engine/RemoteServer.h"

#include <algorithm>
#include <sstream>

#include "support/EnvironmentValues.h"
#include "support/Settings.h"

namespace quorvel {
namespace {

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The environment's value when set, else the setting's string, else "".
std::string setting(const char* variable, Settings::Text stored) {
  if (auto value = environmentValue(variable)) return *value;
  return stored.read();
}

// Whether plain HTTP was allowed for exactly this address.
bool allowedUnencrypted(const std::string& address, Settings::Text allowed) {
  if (address.empty()) return false;
  if (auto listed = environmentValue("QUORVEL_ALLOW_UNENCRYPTED")) {
    std::istringstream words(*listed);
    for (std::string word; words >> word;) {
      if (word == address) return true;
    }
    return false;
  }
  return allowed.read() == address;
}

}  // namespace

std::string serverKindName(ServerKind kind) {
  return kind == ServerKind::speech ? "speech server" : "language model server";
}

RemoteSettings RemoteSettings::current() {
  RemoteSettings settings;
  settings.speech.address = setting("QUORVEL_SPEECH_SERVER", Settings::speechServer);
  settings.speech.keyFile = setting("QUORVEL_SPEECH_KEY_FILE", Settings::speechKeyFile);
  settings.speech.allowUnencrypted = allowedUnencrypted(settings.speech.address, Settings::speechUnencrypted);
  settings.cleanup.address = setting("QUORVEL_CLEANUP_SERVER", Settings::cleanupServer);
  settings.cleanup.keyFile = setting("QUORVEL_CLEANUP_KEY_FILE", Settings::cleanupKeyFile);
  settings.cleanup.allowUnencrypted = allowedUnencrypted(settings.cleanup.address, Settings::cleanupUnencrypted);
  settings.caFile = setting("QUORVEL_CA_FILE", Settings::caFile);
  settings.cleanupModel = setting("QUORVEL_CLEANUP_MODEL", Settings::cleanupModel);
  return settings;
}

RemoteFailureReason remoteTransferFailure(std::string_view error) {
  // libcurl's messages are the only account of a failed transfer it gives.
  using enum RemoteFailure;
  if (contains(error, "Couldn't connect")) return {connection, "the connection was refused"};
  if (contains(error, "Timeout") || contains(error, "timed out")) return {connection, "no answer in time"};
  if (contains(error, "resolve host")) return {connection, "its name is not known"};
  if (contains(error, "certificate") || contains(error, "SSL peer")) return {certificate, "its certificate is not trusted"};
  if (contains(error, "SSL") || contains(error, "TLS")) return {secureConnection, "the secure connection failed"};
  if (contains(error, "Empty reply") || contains(error, "returned nothing") || contains(error, "receiving data") ||
      contains(error, "Recv failure") || contains(error, "Send failure")) {
    return {connection, "the connection dropped"};
  }
  return {connection, std::string(error)};
}

std::string describeRemoteFailure(std::string_view error) { return remoteTransferFailure(error).words; }

std::shared_ptr<RemoteServer> RemoteServer::resolve(ServerKind kind, const RemoteChoice& choice,
                                                    const std::string& caFile, Pause pause) {
  std::shared_ptr<RemoteServer> server(new RemoteServer(kind, pause));
  server->host_ = choice.address;
  auto address = parseServerAddress(choice.address);
  if (!address) {
    server->setupProblem_ = address.error();
    return server;
  }
  server->host_ = address->hostForUser();
  if (const Status plain = checkEncryption(*address, choice.allowUnencrypted); !plain) {
    server->setupProblem_ = plain.error();
    return server;
  }
  server->address_ = *address;
  if (!caFile.empty()) {
    std::error_code error;
    if (!fs::is_regular_file(caFile, error)) {
      server->setupProblem_ = "the certificate authority file " + caFile + " can't be read";
      return server;
    }
    server->caFile_ = caFile;
  }
  auto key = readKeyFile(choice.keyFile);
  if (!key) {
    server->setupProblem_ = key.error();
    return server;
  }
  server->key_ = std::move(key).value();
  return server;
}

Result<HttpRequest> RemoteServer::request(std::string_view endpoint, std::string method) const {
  if (setupProblem_) return Error{*setupProblem_};
  {
    std::scoped_lock lock(mutex_);
    if (failures_ > 0 && std::chrono::steady_clock::now() < retryAt_) {
      return Error{lastFailure_.value_or("it did not answer")};
    }
  }
  HttpRequest request;
  request.method = std::move(method);
  request.url = address_->url(endpoint);
  request.headers = {{"Authorization", "Bearer " + key_}};
  request.caFile = caFile_;
  request.followRedirects = false;  // the recording and the words go only where the user said
  return request;
}

std::optional<std::string> RemoteServer::noteAnswer(const Result<HttpResponse>& answer) {
  if (answer && answer->status >= 200 && answer->status <= 299) {
    std::scoped_lock lock(mutex_);
    failures_ = 0;
    lastFailure_.reset();
    lastKind_ = RemoteFailure::none;
    refusedStatus_ = 0;
    return std::nullopt;
  }
  std::string reason;
  RemoteFailure kind = RemoteFailure::httpStatus;
  long refused = 0;
  if (!answer) {
    auto failure = remoteTransferFailure(answer.error());
    kind = failure.kind;
    reason = std::move(failure.words);
  } else if (answer->status == 401 || answer->status == 403) {
    kind = RemoteFailure::refusedKey;
    reason = "it refused the key (" + std::to_string(answer->status) + ")";
    refused = answer->status;
  } else if (answer->status == 404) {
    reason = "it has no such service (404): is this a " + serverKindName(kind_) + "?";
  } else {
    reason = "it answered HTTP " + std::to_string(answer->status);
  }
  noteFailure(kind, reason);
  std::scoped_lock lock(mutex_);
  refusedStatus_ = refused;
  return reason;
}

void RemoteServer::noteFailure(RemoteFailure kind, const std::string& reason) {
  std::scoped_lock lock(mutex_);
  lastKind_ = kind;
  ++failures_;
  auto pause = pause_.first;
  for (int i = 1; i < failures_ && pause < pause_.longest; ++i) pause *= 2;
  retryAt_ = std::chrono::steady_clock::now() + std::min(pause, pause_.longest);
  lastFailure_ = reason;
  refusedStatus_ = 0;
}

std::optional<std::string> RemoteServer::problem() const {
  std::optional<std::string> reason = setupProblem_;
  if (!reason) {
    std::scoped_lock lock(mutex_);
    reason = lastFailure_;
  }
  if (!reason) return std::nullopt;
  return "Can't reach the " + serverKindName(kind_) + " at " + host_ + ": " + *reason;
}

RemoteFailure RemoteServer::lastFailure() const {
  std::scoped_lock lock(mutex_);
  return lastKind_;
}

int RemoteServer::failures() const {
  std::scoped_lock lock(mutex_);
  return failures_;
}

bool RemoteServer::refusedKey() const {
  std::scoped_lock lock(mutex_);
  return refusedStatus_ != 0;
}

std::optional<std::string> RemoteServer::refusal() const {
  std::scoped_lock lock(mutex_);
  if (refusedStatus_ == 0) return std::nullopt;
  return "the " + serverKindName(kind_) + " refused the key (" + std::to_string(refusedStatus_) + ")";
}

Result<HttpRequest> modelServerRequest(const RemoteServer* remote, int localPort, const std::string& localKey,
                                       std::string_view endpoint, std::string method) {
  if (remote) {
    auto keyed = remote->request(endpoint, std::move(method));
    if (!keyed) return Error{remote->problem().value_or(keyed.error())};
    return keyed;
  }
  HttpRequest request;
  request.method = std::move(method);
  request.url = "http://127.0.0.1:" + std::to_string(localPort) + std::string(endpoint);
  request.headers = {{"Authorization", "Bearer " + localKey}};
  return request;
}

}  // namespace quorvel
