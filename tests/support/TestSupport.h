// Helpers shared by the tests: temporary folders, scoped environment changes,
// free loopback ports and the paths of the programs the build made.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quorvel::testing {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

// Sets (or, with nullopt, unsets) an environment variable until destroyed.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// A TCP port on 127.0.0.1 that was free a moment ago.
int freeLoopbackPort();

// The folder of the programs the build made (QUORVEL_TEST_BIN, else beside the test).
fs::path buildBinFolder();
fs::path buildProgram(const std::string& name);

// The resources folder: QUORVEL_RESOURCES when set, else the source tree's.
fs::path resourcesFolder();

// Writes text to a file, creating its folder.
void writeTextFile(const fs::path& path, const std::string& text);
std::string readTextFile(const fs::path& path);

// Runs a shell command line and waits for it: its standard output and exit
// status (-1 when it could not start or did not exit normally).
struct CommandResult {
  int status = -1;
  std::string out;
};
CommandResult runCommand(const std::string& command);

}  // namespace quorvel::testing
