// Writes and removes the autostart entry for the "openAtLogin" setting.
#include "app/launch/OpenAtLogin.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "support/Settings.h"

namespace quorvel::OpenAtLogin {

namespace {

// Quotes one Exec argument: inside double quotes, ", `, $ and \ take a
// backslash. The .desktop file's own string escaping then doubles every
// backslash once more.
std::string execArgument(const std::string& argument) {
  const bool plain = !argument.empty() && argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`=%") == std::string::npos;
  std::string quoted;
  if (plain) {
    quoted = argument;
  } else {
    quoted = "\"";
    for (char c : argument) {
      if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
      quoted += c;
    }
    quoted += "\"";
  }
  std::string escaped;
  for (char c : quoted) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '%') {
      escaped += "%%";  // a field code otherwise
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace

fs::path entryFile() { return xdgConfigHome() / "autostart" / "quorvel.desktop"; }

std::string entryText(const fs::path& executable) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Quorvel\n"
         "Comment=" +
         std::string(kDetail) +
         "\n"
         "Exec=" +
         execArgument(executable.string()) +
         "\n"
         "Icon=quorvel\n"
         "Terminal=false\n"
         "NoDisplay=true\n"
         "X-GNOME-Autostart-enabled=true\n";
}

Status apply(bool open, const fs::path& entry, const fs::path& executable) {
  if (!open) {
    std::error_code error;
    fs::remove(entry, error);
    if (error && error != std::errc::no_such_file_or_directory) {
      return Error{"could not remove " + entry.string() + ": " + error.message()};
    }
    return Done{};
  }
  if (!createFolders(entry.parent_path())) {
    return Error{"could not create " + entry.parent_path().string()};
  }
  return writeFileAtomically(entry, entryText(executable));
}

Status set(bool open) {
  // The entry first: when it cannot be changed the setting keeps saying what
  // really happens at login.
  const fs::path entry = entryFile();
  const fs::path executable = executableFolder() / "quorvel";
  // What was there before, to put back exactly when the setting can't be saved.
  const std::optional<std::string> before = pathExists(entry) ? readWholeFile(entry) : std::nullopt;
  if (pathExists(entry) && !before) return Error{"could not read " + entry.string()};
  if (Status changed = apply(open, entry, executable); !changed.ok()) return changed;
  if (Status stored = Settings::openAtLogin.write(open); !stored.ok()) {
    if (before) {
      (void)writeFileAtomically(entry, *before);
    } else {
      (void)apply(false, entry, executable);
    }
    return stored;
  }
  return Done{};
}

Status sync() {
  return apply(Settings::openAtLogin.read(), entryFile(), executableFolder() / "quorvel");
}

}  // namespace quorvel::OpenAtLogin
