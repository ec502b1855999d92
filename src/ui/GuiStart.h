// The one Qt start-up, for the application and every mode that shows or
// renders windows: picks the window system, makes the QApplication with the
// application's and desktop file's names, registers the typefaces and sets
// the appearance.
//
// Threading: call once, on the thread that runs main.
#pragma once

#include <QApplication>
#include <memory>
#include <optional>
#include <string>

#include "ui/Palette.h"

namespace quorvel {

struct GuiStartOptions {
  // Render without any display (snapshot modes): the offscreen platform,
  // unless QT_QPA_PLATFORM names one.
  bool offscreen = false;
  // The appearance to use; without one the desktop's is detected, and
  // followed when it changes.
  std::optional<Appearance> appearance;
};

// The platform to ask Qt for, from the environment: an explicit
// QT_QPA_PLATFORM wins; offscreen when asked or when there is no display at
// all; X11 (through XWayland) in a Wayland session that has an X display,
// because a native Wayland window can neither be placed nor kept from taking
// the keyboard focus; otherwise Qt's own choice (empty).
std::string chooseQtPlatform(bool offscreen, const char* qtPlatform, const char* display,
                             const char* waylandDisplay);

// REQUIRES: argc and argv outlive the application (Qt keeps references).
std::unique_ptr<QApplication> startGui(int& argc, char** argv, const GuiStartOptions& options);

// For a program that makes its QApplication itself: registers the typefaces
// and sets the appearance (detected and followed when none is given).
// REQUIRES: the QApplication exists.
void prepareStyle(std::optional<Appearance> appearance = std::nullopt);

}  // namespace quorvel
