// Addresses of model servers elsewhere and their key files.
#include "engine/RemoteAddress.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "support/EnvironmentValues.h"
#include "support/Http.h"
#include "support/ShellQuoted.h"

namespace quorvel {
namespace {

constexpr std::size_t kLongestKeyFile = 16 * 1024;

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool hasSpaceOrControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](unsigned char c) { return c <= ' ' || c == 0x7f; });
}

// A name of letters, digits, "-" and "." (what DNS and IPv4 need).
bool isPlainHostName(std::string_view host) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.';
  });
}

}  // namespace

std::string ServerAddress::url(std::string_view endpoint) const {
  const bool ipv6 = host.find(':') != std::string::npos;
  return scheme + "://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + path +
         std::string(endpoint);
}

std::string ServerAddress::hostForUser() const {
  const bool ipv6 = host.find(':') != std::string::npos;
  return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool isLoopbackHost(std::string_view host) {
  const std::string name = lowered(host);
  return name == "localhost" || name.ends_with(".localhost") || isLoopbackIp(name);
}

Result<ServerAddress> parseServerAddress(std::string_view text) {
  const auto refuse = [&](const std::string& why) -> Result<ServerAddress> {
    return Error{"the address \"" + std::string(text.substr(0, 200)) + "\" " + why};
  };
  if (text.empty()) return refuse("is empty");
  if (hasSpaceOrControl(text)) return refuse("has spaces or control characters in it");
  const auto schemeEnd = text.find("://");
  if (schemeEnd == std::string_view::npos) {
    return refuse("has no scheme: write it like https://gpu.example:8443");
  }
  ServerAddress address;
  address.scheme = lowered(text.substr(0, schemeEnd));
  if (address.scheme != "http" && address.scheme != "https") {
    return refuse("is not an http or https address");
  }
  std::string_view rest = text.substr(schemeEnd + 3);
  if (rest.find_first_of("?#") != std::string_view::npos) return refuse("has a query or fragment");
  const auto pathStart = rest.find('/');
  std::string_view authority = rest.substr(0, pathStart);
  std::string_view path = pathStart == std::string_view::npos ? std::string_view() : rest.substr(pathStart);
  if (authority.find('@') != std::string_view::npos) {
    return refuse("holds a user name or password: put the key in its key file instead");
  }

  std::string_view host;
  std::string_view portText;
  if (authority.starts_with("[")) {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) return refuse("has an unclosed [");
    host = authority.substr(1, close - 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (!after.starts_with(":")) return refuse("has something after ]");
      portText = after.substr(1);
      if (portText.empty()) return refuse("has an empty port");
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, std::string(host).c_str(), &v6) != 1) return refuse("has a bad IPv6 address");
  } else {
    const auto colon = authority.rfind(':');
    host = authority.substr(0, colon);
    if (colon != std::string_view::npos) {
      portText = authority.substr(colon + 1);
      if (portText.empty()) return refuse("has an empty port");
    }
    if (!isPlainHostName(host)) return refuse(host.empty() ? "has no host" : "has a bad host name");
  }
  address.host = lowered(host);
  if (!portText.empty()) {
    const bool digits = std::all_of(portText.begin(), portText.end(),
                                    [](unsigned char c) { return std::isdigit(c); });
    const auto port = digits ? parseDecimalInteger(portText) : std::nullopt;
    if (!port || *port < 1 || *port > 65535) return refuse("has a port that is not 1 to 65535");
    address.port = static_cast<int>(*port);
  } else {
    address.port = address.scheme == "https" ? 443 : 80;
  }
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  address.path = std::string(path);
  address.loopback = isLoopbackHost(address.host);
  return address;
}

Status checkEncryption(const ServerAddress& address, bool allowUnencrypted) {
  if (address.scheme == "https" || address.loopback || allowUnencrypted) return success();
  return Error{"plain http to " + address.hostForUser() +
               " would send your recordings and text unencrypted; use https, or allow unencrypted "
               "for this address"};
}

Result<std::string> readKeyFile(const fs::path& file) {
  const std::string name = file.string();
  if (name.empty()) return Error{"no key file is set"};
  // Opened without following a last link and checked on the open file, so
  // what is checked is what is read.
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return Error{"can't read the key file " + name};
  struct stat info {};
  const bool stated = ::fstat(fd, &info) == 0;
  const auto closeAnd = [fd](Error error) -> Result<std::string> {
    ::close(fd);
    return error;
  };
  if (!stated || !S_ISREG(info.st_mode)) return closeAnd(Error{"the key file " + name + " is not a file"});
  if (info.st_uid != ::geteuid()) return closeAnd(Error{"the key file " + name + " belongs to another user"});
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    return closeAnd(Error{"others can read the key file " + name + "; fix it with: chmod 600 " + shellQuoted(name)});
  }
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > kLongestKeyFile) return closeAnd(Error{"the key file " + name + " is too long for a key"});
  }
  ::close(fd);
  const auto lineEnd = text.find('\n');
  std::string_view key(text.data(), lineEnd == std::string::npos ? text.size() : lineEnd);
  while (!key.empty() && std::isspace(static_cast<unsigned char>(key.front()))) key.remove_prefix(1);
  while (!key.empty() && std::isspace(static_cast<unsigned char>(key.back()))) key.remove_suffix(1);
  if (key.empty()) return Error{"the key file " + name + " is empty"};
  if (hasSpaceOrControl(key) ||
      std::any_of(key.begin(), key.end(), [](unsigned char c) { return c >= 0x80; })) {
    return Error{"the key in " + name + " has spaces or characters a key can't have"};
  }
  return std::string(key);
}

}  // namespace quorvel
