// A private session bus (dbus-daemon with a throw-away configuration, no
// service activation, so no real portal can answer) and the portal stand-in
// (tests/support/portal_standin.py) on it or on the desktop session's bus.
// Both are stopped when the objects go; every wait is bounded. The user of
// this header defines QUORVEL_PORTAL_STANDIN, the stand-in's path.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/Json.h"

namespace quorvel::testing {

inline bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

inline void stopChild(std::unique_ptr<ChildProcess>& child) {
  if (!child) return;
  child->terminate();
  if (!child->waitForExit(std::chrono::seconds(5))) child->kill();
  (void)child->waitForExit(std::chrono::seconds(5));
  child.reset();
}

class PrivateBus {
 public:
  explicit PrivateBus(const fs::path& folder) {
    writeTextFile(folder / "bus.conf",
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                  "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig><type>session</type><listen>unix:dir=" + folder.string() + "</listen>"
                  "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    LaunchOptions options;
    options.executable = "/usr/bin/dbus-daemon";
    options.arguments = {"--config-file=" + (folder / "bus.conf").string(), "--nofork", "--print-address=1"};
    options.outputFile = folder / "bus.out";
    options.endWithParent = true;
    auto launched = ChildProcess::launch(options);
    if (!launched) return;
    daemon_ = std::move(launched.value());
    (void)waitFor([&] {
      // Its own complaints (a file limit it may not raise) share the file.
      const std::string text = readWholeFile(folder / "bus.out").value_or("");
      for (size_t start = 0, end = 0; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        if (text.compare(start, 5, "unix:") == 0) {
          address_ = text.substr(start, end - start);
          return true;
        }
      }
      return false;
    }, std::chrono::seconds(10));
  }
  ~PrivateBus() { stopChild(daemon_); }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  const std::string& address() const { return address_; }

 private:
  std::unique_ptr<ChildProcess> daemon_;
  std::string address_;
};

class PortalStandin {
 public:
  // Whether this machine has the interface files the stand-in serves.
  static bool interfacesInstalled() {
    return pathExists("/usr/share/dbus-1/interfaces/org.freedesktop.portal.RemoteDesktop.xml") &&
           pathExists("/usr/share/dbus-1/interfaces/org.freedesktop.portal.GlobalShortcuts.xml");
  }

  PortalStandin(const std::string& busAddress, const fs::path& folder, std::vector<std::string> arguments,
                std::map<std::string, std::string> environment = {})
      : bus_(busAddress), log_(folder / ("portal-" + std::to_string(++count()) + ".jsonl")) {
    LaunchOptions options;
    options.executable = "/usr/bin/python3";
    options.arguments = {QUORVEL_PORTAL_STANDIN, "--log", log_.string()};
    for (auto& argument : arguments) options.arguments.push_back(std::move(argument));
    options.extraEnvironment = std::move(environment);
    options.extraEnvironment["DBUS_SESSION_BUS_ADDRESS"] = bus_;
    options.outputFile = folder / "portal.out";
    options.endWithParent = true;
    auto launched = ChildProcess::launch(options);
    if (!launched) return;
    process_ = std::move(launched.value());
    ready_ = waitFor([&] { return !entries("event", "ready").empty(); }, std::chrono::seconds(15));
  }
  ~PortalStandin() { stopChild(process_); }
  PortalStandin(const PortalStandin&) = delete;
  PortalStandin& operator=(const PortalStandin&) = delete;

  bool ready() const { return ready_; }

  // Every logged line whose member key has the value.
  std::vector<Json> entries(const std::string& key, const std::string& value) const {
    std::vector<Json> found;
    const std::string text = readWholeFile(log_).value_or("");
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) break;
      if (auto line = parseJson(std::string_view(text).substr(start, end - start));
          line && line->is_object() && stringMember(*line, key) == value) {
        found.push_back(*line);
      }
      start = end + 1;
    }
    return found;
  }
  std::vector<Json> calls(const std::string& name) const { return entries("call", name); }

  // Steers the stand-in (SetAnswer, Revoke, Activate, Deactivate).
  bool control(const std::string& method, const std::vector<std::string>& arguments = {}) const {
    std::string command = "timeout 10 dbus-send --bus='" + bus_ +
                          "' --dest=org.freedesktop.portal.Desktop --type=method_call --print-reply "
                          "/org/quorvel/test org.quorvel.test.PortalStandIn." + method;
    for (const auto& argument : arguments) command += " string:'" + argument + "'";
    command += " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }

 private:
  static int& count() {
    static int made = 0;
    return made;
  }
  std::string bus_;
  fs::path log_;
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
};

}  // namespace quorvel::testing
