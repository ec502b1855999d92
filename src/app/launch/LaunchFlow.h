// The launch's questions before the application starts: whether this copy
// becomes the only one running, and whether an AppImage moves itself into
// ~/Applications and opens again from there. Plain steps over the single-
// instance lock, the process table and the dialogs.
//
// Threading: main thread, before the event loop runs (the waits block).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/launch/Placement.h"
#include "app/desktop/SingleInstance.h"
#include "app/tray/TrayView.h"
#include "support/Files.h"

namespace quorvel {

// Takes the single-instance lock. A second start of the same program asks the
// running copy to show itself; a copy from elsewhere is named and the user
// chooses which one runs. Nothing when this copy runs on; otherwise the exit
// status it ends with. ourExecutable: this process's executable.
std::optional<int> becomeTheOnlyCopy(SingleInstance& instance, Dialogs& dialogs, const std::string& ourExecutable);

// What moving the AppImage needs from the system: a trash for an older copy
// at the destination, and a shell that opens the moved copy once we are gone.
struct PlacementSystem {
  std::function<bool(const fs::path&)> trash;
  std::function<bool(const std::string& command)> startShell = startDetachedShell;
};

// Offers to move the AppImage (the APPIMAGE variable's value) into
// ~/Applications; true when this copy is to end because the moved one opens
// in its place. A move that fails is told and this copy runs on.
bool movedIntoApplications(Dialogs& dialogs, const std::optional<fs::path>& appImage, const fs::path& home,
                           const PlacementSystem& system);

// A program run from its build tree (beside CMakeCache.txt) or on the
// developer's data folder never looks for updates on its own.
bool developmentBuild(bool developerDataFolder, const fs::path& executable);

}  // namespace quorvel
