// The name people know an application by, from the freedesktop menu entries
// (applications/*.desktop under XDG_DATA_HOME and XDG_DATA_DIRS): "Terminal"
// rather than the window class "Gnome-terminal". Reads a bounded number of
// small files; call it when a name is needed, not per frame.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// The folders that hold menu entries, most important first.
std::vector<std::filesystem::path> desktopEntryFolders();

// The entry's Name for the application whose identifier (desktop file name,
// GTK application id or WM_CLASS instance) or WM_CLASS class name is given:
// an entry named after it ("org.gnome.Terminal.desktop", "firefox-esr.desktop")
// or one whose StartupWMClass matches, compared without case. Entries marked
// NoDisplay or Hidden still name their application. Nothing when no entry
// matches.
std::optional<std::string> desktopEntryName(const std::string& id, const std::string& className,
                                            const std::vector<std::filesystem::path>& folders);

}  // namespace quorvel
