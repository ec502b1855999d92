// The test download host's command line and the faults it can be told to act
// out, from flags at start or from a control file read on every request.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::downloadhost {

namespace fs = std::filesystem;

// Misbehaviour, each off by default. `scope` and `only` limit which requests
// the faults touch; a redirect applies to every request.
struct Faults {
  enum class Scope { all, ranged, whole };

  bool ignoreRanges = false;     // a range request gets 200 and the whole file
  bool wrongRange = false;       // a 206 names other bytes than were asked (and sends those)
  bool wrongRangeEnd = false;    // a 206 names the right first byte but a last one too far
                                 // (and sends the bytes asked for)
  int failFirst = 0;             // the first N requests of each (path, range) get 500
  std::int64_t shortBy = 0;      // promise the full length, close N bytes early
  std::int64_t extra = 0;        // send N bytes more than the range (length included)
  std::int64_t truncate = 0;     // send N bytes fewer, and say so in the length
  int stallMs = 0;               // after half the body, send nothing for this long
  bool corrupt = false;          // one byte in the middle of each file is changed
  std::string redirect;          // "moved": 302 to /moved/<path>; "loop": 302 to itself;
                                 // "plain": 302 to http:// on the same host and path
  Scope scope = Scope::all;      // range requests, requests without a range, or both
  std::string only;              // only this file name ("" = every file)
};

struct HostOptions {
  fs::path root;                  // the folder whose files are served
  int port = 0;                   // 0: any free port (written to the ready file)
  std::optional<fs::path> certificate;
  std::optional<fs::path> key;
  std::optional<fs::path> readyFile;    // receives the port once listening
  std::optional<fs::path> logFile;      // one line per request
  std::optional<fs::path> controlFile;  // when it exists, its faults replace the flags'
  Faults faults;
};

// Parses fault tokens ("--ignore-ranges", "--fail-first", "2", …; the leading
// "--" may be left out). Answers an error text, or nothing when all were known.
std::optional<std::string> parseFaults(const std::vector<std::string>& tokens, Faults& faults);

// Parses the whole command line (without the program name).
std::optional<std::string> parseOptions(const std::vector<std::string>& args, HostOptions& options);

// The faults in force: the control file's when it exists and parses, else the flags'.
Faults currentFaults(const HostOptions& options);

std::string usage();

}  // namespace quorvel::downloadhost
