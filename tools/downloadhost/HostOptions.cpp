// Parsing the download host's flags and control file.
#include "HostOptions.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace quorvel::downloadhost {
namespace {

std::optional<std::int64_t> number(const std::string& text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end || value < 0) return std::nullopt;
  return value;
}

std::string withoutDashes(const std::string& token) {
  return token.starts_with("--") ? token.substr(2) : token;
}

}  // namespace

std::optional<std::string> parseFaults(const std::vector<std::string>& tokens, Faults& faults) {
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string name = withoutDashes(tokens[i]);
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= tokens.size()) return std::nullopt;
      return tokens[++i];
    };
    const auto count = [&]() -> std::optional<std::int64_t> {
      auto text = value();
      return text ? number(*text) : std::nullopt;
    };
    if (name == "ignore-ranges") {
      faults.ignoreRanges = true;
    } else if (name == "wrong-range") {
      faults.wrongRange = true;
    } else if (name == "wrong-range-end") {
      faults.wrongRangeEnd = true;
    } else if (name == "corrupt") {
      faults.corrupt = true;
    } else if (name == "fail-first" || name == "short" || name == "extra" || name == "truncate" ||
               name == "stall") {
      const auto n = count();
      if (!n || *n > 1'000'000'000) return "--" + name + " needs a number";
      if (name == "fail-first") faults.failFirst = static_cast<int>(*n);
      if (name == "short") faults.shortBy = *n;
      if (name == "extra") faults.extra = *n;
      if (name == "truncate") faults.truncate = *n;
      if (name == "stall") faults.stallMs = static_cast<int>(*n);
    } else if (name == "redirect") {
      const auto how = value();
      if (!how || (*how != "moved" && *how != "loop" && *how != "plain")) {
        return "--redirect takes moved, loop or plain";
      }
      faults.redirect = *how;
    } else if (name == "faults-on") {
      const auto scope = value();
      if (scope == "all") {
        faults.scope = Faults::Scope::all;
      } else if (scope == "ranged") {
        faults.scope = Faults::Scope::ranged;
      } else if (scope == "whole") {
        faults.scope = Faults::Scope::whole;
      } else {
        return "--faults-on takes all, ranged or whole";
      }
    } else if (name == "only") {
      const auto file = value();
      if (!file) return "--only needs a file name";
      faults.only = *file;
    } else {
      return "unknown option " + tokens[i];
    }
  }
  return std::nullopt;
}

std::optional<std::string> parseOptions(const std::vector<std::string>& args, HostOptions& options) {
  std::vector<std::string> faultTokens;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (arg == "--root" || arg == "--ready-file" || arg == "--log" || arg == "--control" ||
        arg == "--port") {
      const auto text = value();
      if (!text) return arg + " needs a value";
      if (arg == "--root") options.root = *text;
      if (arg == "--ready-file") options.readyFile = *text;
      if (arg == "--log") options.logFile = *text;
      if (arg == "--control") options.controlFile = *text;
      if (arg == "--port") {
        const auto port = number(*text);
        if (!port || *port > 65535) return "--port needs a port number";
        options.port = static_cast<int>(*port);
      }
    } else if (arg == "--tls") {
      const auto certificate = value();
      const auto key = value();
      if (!certificate || !key) return "--tls needs a certificate file and a key file";
      options.certificate = *certificate;
      options.key = *key;
    } else {
      // Fault flags, checked together below (some take a value).
      faultTokens.push_back(arg);
    }
  }
  if (options.root.empty()) return "--root is required";
  return parseFaults(faultTokens, options.faults);
}

Faults currentFaults(const HostOptions& options) {
  if (!options.controlFile) return options.faults;
  std::ifstream in(*options.controlFile);
  if (!in) return options.faults;
  std::vector<std::string> tokens;
  for (std::string token; in >> token;) tokens.push_back(token);
  Faults faults;
  if (parseFaults(tokens, faults)) return options.faults;  // a half-written file: keep the flags'
  return faults;
}

std::string usage() {
  return "usage: quorvel-download-host --root DIR [--port N] [--tls CERT KEY]\n"
         "         [--ready-file FILE] [--log FILE] [--control FILE] [faults]\n"
         "Serves the files of DIR on 127.0.0.1 with byte ranges, for tests.\n"
         "faults (also one set per control file, re-read on every request):\n"
         "  --ignore-ranges      answer a range request with 200 and the whole file\n"
         "  --fail-first N       answer 500 to the first N requests of each path and range\n"
         "  --short N            promise the full length but close N bytes early\n"
         "  --extra N            send N bytes more than asked for\n"
         "  --truncate N         send N bytes fewer, with a matching length\n"
         "  --stall MS           after half the body, send nothing for MS milliseconds\n"
         "  --corrupt            change one byte in the middle of every file\n"
         "  --wrong-range        a 206 whose Content-Range names the bytes after those asked\n"
         "  --wrong-range-end    a 206 whose Content-Range names one byte too many at its end\n"
         "  --redirect moved|loop|plain  302 to /moved/<path> (also served), to the same\n"
         "                       path, or to the same path over plain http\n"
         "  --faults-on all|ranged|whole  which requests the faults touch\n"
         "  --only NAME          the faults touch only this file\n";
}

}  // namespace quorvel::downloadhost
