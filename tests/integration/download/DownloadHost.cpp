// Starting, reading and stopping the test download host.
#include "DownloadHost.h"

#include <openssl/evp.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "TestSupport.h"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;

void makeCertificate(const fs::path& work, fs::path& certificate, fs::path& key) {
  certificate = work / "host-cert.pem";
  key = work / "host-key.pem";
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
      " -addext subjectAltName=IP:127.0.0.1 -keyout '" + key.string() + "' -out '" +
      certificate.string() + "' >'" + (work / "openssl.log").string() + "' 2>&1";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl could not make a certificate");
}

}  // namespace

DownloadHost::DownloadHost(const fs::path& root, const fs::path& work, std::vector<std::string> flags,
                           bool tls)
    : work_(work), tls_(tls) {
  fs::create_directories(work_);
  std::vector<std::string> args = {"--root", root.string(), "--port", "0",
                                   "--ready-file", (work_ / "ready").string(),
                                   "--log", (work_ / "requests.log").string(),
                                   "--control", (work_ / "faults").string()};
  if (tls) {
    fs::path key;
    makeCertificate(work_, certificate_, key);
    args.insert(args.end(), {"--tls", certificate_.string(), key.string()});
  }
  args.insert(args.end(), flags.begin(), flags.end());

  LaunchOptions options;
  options.executable = buildProgram("quorvel-download-host").string();
  options.arguments = args;
  options.outputFile = work_ / "host.out";
  auto launched = ChildProcess::launch(options);
  if (!launched) throw std::runtime_error("could not start the download host: " + launched.error());
  process_ = std::move(*launched);

  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream ready(work_ / "ready");
    if (ready >> port_ && port_ > 0) return;
    if (!process_->isRunning()) break;
    std::this_thread::sleep_for(10ms);
  }
  process_->kill();
  process_->waitForExit(5s);
  throw std::runtime_error("the download host did not come up: " + readTextFile(work_ / "host.out"));
}

DownloadHost::~DownloadHost() {
  process_->terminate();
  if (!process_->waitForExit(5s)) {
    process_->kill();
    process_->waitForExit(5s);
  }
}

std::string DownloadHost::url(const std::string& name) const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + "/" + name;
}

void DownloadHost::setFaults(const std::vector<std::string>& tokens) const {
  std::string text;
  for (const auto& token : tokens) text += token + "\n";
  writeTextFile(work_ / "faults.tmp", text);
  fs::rename(work_ / "faults.tmp", work_ / "faults");
}

std::vector<HostRequest> DownloadHost::requests() const {
  std::vector<HostRequest> result;
  std::ifstream in(work_ / "requests.log");
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string method, path, range, status, bytes, active;
    words >> method >> path >> range >> status >> bytes >> active;
    HostRequest request;
    request.path = path;
    request.range = range.substr(range.find('=') + 1);
    request.status = std::atoi(status.substr(status.find('=') + 1).c_str());
    request.bytes = std::atoll(bytes.substr(bytes.find('=') + 1).c_str());
    request.active = std::atoi(active.substr(active.find('=') + 1).c_str());
    result.push_back(request);
  }
  return result;
}

std::string randomBytes(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::string data(count, '\0');
  for (auto& c : data) c = static_cast<char>(generator() & 0xff);
  return data;
}

std::string sha256Hex(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(digits[digest[i] >> 4]);
    hex.push_back(digits[digest[i] & 0x0f]);
  }
  return hex;
}

}  // namespace quorvel::testing
