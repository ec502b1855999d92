// Start at login: the user default "openAtLogin" (false when absent) kept in
// step with a freedesktop autostart entry, $XDG_CONFIG_HOME/autostart/
// quorvel.desktop, which the desktop session reads when the user logs in.
//
// Threading: any thread; the file is replaced atomically, so a session that
// reads it while it changes sees the old entry or the new one.
#pragma once

#include <string>
#include <string_view>

#include "support/Files.h"
#include "support/Result.h"

namespace quorvel::OpenAtLogin {

inline constexpr std::string_view kTitle = "Open at login";
inline constexpr std::string_view kDetail = "Quorvel starts in the tray when you log in.";

// $XDG_CONFIG_HOME/autostart/quorvel.desktop.
fs::path entryFile();

// The entry that starts `executable` (an absolute path, quoted as the
// desktop-entry rules require when it holds spaces or quotes).
std::string entryText(const fs::path& executable);

// Writes the entry (creating the autostart folder) or removes it. Removing an
// entry that is not there succeeds.
Status apply(bool open, const fs::path& entry, const fs::path& executable);

// Changes the entry for the running program (this executable, the standard
// entry file), then stores the setting. On an error neither has changed: an
// entry that was there comes back as it was, one that was not stays away.
Status set(bool open);

// Brings the entry in line with the stored setting (at start, so a moved
// program is found again at the next login).
Status sync();

}  // namespace quorvel::OpenAtLogin
