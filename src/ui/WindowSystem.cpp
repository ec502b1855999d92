// The window system's answers, as the program installed them.
#include "ui/WindowSystem.h"

namespace quorvel {

namespace {

// Set once at start-up, before any window exists; read on the main thread.
WindowSystem& installed() {
  static WindowSystem system;
  return system;
}

}  // namespace

void useWindowSystem(WindowSystem system) {
  if (system.compositing) installed().compositing = std::move(system.compositing);
  if (system.showOnAllWorkspaces) installed().showOnAllWorkspaces = std::move(system.showOnAllWorkspaces);
}

bool compositingActive() {
  const auto& compositing = installed().compositing;
  return compositing ? compositing() : true;
}

void showOnAllWorkspaces(QWidget& window) {
  const auto& show = installed().showOnAllWorkspaces;
  if (show) show(window);
}

}  // namespace quorvel
