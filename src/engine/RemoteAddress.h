// A model server on another machine: its address as the user wrote it, the
// rule for plain HTTP, and the key file beside it. Plain rules, no I/O except
// reading the key file.
#pragma once

#include <string>
#include <string_view>

#include "support/Files.h"
#include "support/Result.h"

namespace quorvel {

struct ServerAddress {
  std::string scheme;  // "http" or "https"
  std::string host;    // lower-cased, without the brackets of an IPv6 literal
  int port = 0;        // as written, else the scheme's default
  std::string path;    // a base path without the trailing "/", or ""
  bool loopback = false;

  // scheme://host:port + path + endpoint ("/inference", "/v1/models", ...).
  std::string url(std::string_view endpoint) const;
  // The host as the user sees it in messages: "gpu.example:8443".
  std::string hostForUser() const;
};

// Reads an address like "https://gpu.example:8443" or "http://127.0.0.1:8080/api".
// Refused, saying why: no scheme or another one than http/https, a user name
// or password in the address (keys belong in the key file), a query or a
// fragment, no host, a port that is not 1..65535, spaces or control characters.
Result<ServerAddress> parseServerAddress(std::string_view text);

// Plain HTTP carries the recording and the text readable on the way: it is
// allowed to a loopback address, or when the user allowed it for this address.
Status checkEncryption(const ServerAddress& address, bool allowUnencrypted);

// Whether the host is a loopback name or address (localhost, 127.0.0.0/8, ::1).
bool isLoopbackHost(std::string_view host);

// The key in a file only its owner can read: its first line without spaces
// around it. Refused with the command that fixes it when the group or others
// may read or write the file; refused when it is missing, not a regular file,
// owned by someone else, empty, or holds characters a header can't carry.
Result<std::string> readKeyFile(const fs::path& file);

}  // namespace quorvel
