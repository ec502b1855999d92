// Picks the window system and prepares fonts and colours before any window.
#include "ui/GuiStart.h"

#include <cstdlib>
#include <string>

#include "engine/Config.h"
#include "ui/AppearanceWatch.h"
#include "ui/Brand.h"

namespace quorvel {

namespace {

bool present(const char* value) { return value != nullptr && *value != '\0'; }

}  // namespace

std::string chooseQtPlatform(bool offscreen, const char* qtPlatform, const char* display,
                             const char* waylandDisplay) {
  if (present(qtPlatform)) return qtPlatform;
  if (offscreen || (!present(display) && !present(waylandDisplay))) return "offscreen";
  if (present(waylandDisplay) && present(display)) return "xcb";
  return {};
}

std::unique_ptr<QApplication> startGui(int& argc, char** argv, const GuiStartOptions& options) {
  const std::string platform =
      chooseQtPlatform(options.offscreen, std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                       std::getenv("WAYLAND_DISPLAY"));
  if (!platform.empty()) ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);

  auto app = std::make_unique<QApplication>(argc, argv);
  // The name is also the class of every X11 window ("Quorvel"); the desktop
  // file names the launcher entry and the Wayland application id.
  QApplication::setApplicationName("Quorvel");
  QApplication::setApplicationDisplayName("Quorvel");
  QApplication::setDesktopFileName("quorvel");
  // The tag and the note are helpers beside other applications' windows:
  // closing the last of our windows must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);

  prepareStyle(options.appearance);
  return app;
}

void prepareStyle(std::optional<Appearance> appearance) {
  Brand::registerFonts(Config::resources() / "fonts");
  if (appearance) {
    setAppearance(*appearance);
    return;
  }
  setAppearance(detectAppearance());
  new AppearanceWatch(QCoreApplication::instance());  // owned by the application
}

}  // namespace quorvel
