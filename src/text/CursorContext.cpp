// Which applications are terminals, and the context the model may see.
#include "text/CursorContext.h"

#include <set>

namespace quorvel {
namespace {

const std::set<std::string, std::less<>>& terminalApps() {
  static const std::set<std::string, std::less<>> apps = {
      // Identifiers as macOS applications publish them.
      "com.apple.Terminal", "com.googlecode.iterm2", "dev.warp.Warp-Stable",
      "com.mitchellh.ghostty", "net.kovidgoyal.kitty", "org.alacritty", "io.alacritty",
      "com.github.wez.wezterm", "co.zeit.hyper",
      // The same programs and the common terminals as Linux desktops name them
      // (desktop-file ids and window classes).
      "kitty", "Alacritty", "org.wezfurlong.wezterm",
      "org.gnome.Terminal", "org.gnome.Console", "org.gnome.Ptyxis", "org.kde.konsole",
      "konsole", "gnome-terminal-server", "xterm", "XTerm", "URxvt", "foot", "footclient",
      "com.gexperts.Tilix", "tilix", "xfce4-terminal", "org.xfce.terminal", "terminator",
      "Hyper", "WarpTerminal", "dev.warp.Warp", "io.elementary.terminal", "lxterminal",
      "mate-terminal", "qterminal", "st", "st-256color", "Termite", "cool-retro-term",
      "com.raggesilver.BlackBox", "app.devsuite.Ptyxis", "rio", "wezterm",
  };
  return apps;
}

}  // namespace

bool isTerminalApp(std::string_view app) { return terminalApps().count(app) > 0; }

CursorContext CursorContext::forModel() const {
  if (!app || !isTerminalApp(*app)) return *this;
  return CursorContext{"", "", kind, app};
}

}  // namespace quorvel
