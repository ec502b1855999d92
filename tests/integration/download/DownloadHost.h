// The test download host as a child process of a test: started on a free
// loopback port with the given flags, its request log read back, stopped (and
// killed if it must be) when the object goes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace quorvel::testing {

namespace fs = std::filesystem;

// One logged request: "GET /a.bin range=bytes=0-99 status=206 bytes=100 active=1".
struct HostRequest {
  std::string path;
  std::string range;  // "-" when the request had none
  int status = 0;
  std::int64_t bytes = 0;
  int active = 0;
};

class DownloadHost {
 public:
  // Serves root. With tls, over HTTPS with a certificate made for 127.0.0.1
  // in work (caFile() names it). Throws when the host does not come up in 10 s.
  DownloadHost(const fs::path& root, const fs::path& work, std::vector<std::string> flags = {},
               bool tls = false);
  ~DownloadHost();
  DownloadHost(const DownloadHost&) = delete;
  DownloadHost& operator=(const DownloadHost&) = delete;

  std::string url(const std::string& name) const;
  const fs::path& caFile() const { return certificate_; }
  // Faults from now on (replacing the flags'); an empty list turns them off.
  void setFaults(const std::vector<std::string>& tokens) const;
  std::vector<HostRequest> requests() const;

 private:
  fs::path work_;
  fs::path certificate_;
  bool tls_ = false;
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

// Random bytes, the same for the same seed.
std::string randomBytes(std::size_t count, unsigned seed);
std::string sha256Hex(const std::string& data);

}  // namespace quorvel::testing
