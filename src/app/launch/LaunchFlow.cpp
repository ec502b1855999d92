// The single-instance and placement questions of a launch.
#include "app/launch/LaunchFlow.h"

#include <chrono>

#include "app/launch/Launch.h"
#include "support/Log.h"

namespace quorvel {

std::optional<int> becomeTheOnlyCopy(SingleInstance& instance, Dialogs& dialogs, const std::string& ourExecutable) {
  auto other = instance.acquire();
  switch (instanceChoice(other, ourExecutable)) {
    case InstanceChoice::run:
      return std::nullopt;
    case InstanceChoice::reopenOther:
      if (!instance.send(InstanceRequest::reopen)) logLine("Quorvel: the running copy did not answer");
      return 0;
    case InstanceChoice::askUser:
      break;
  }
  if (!dialogs.ask(kAlreadyRunning, alreadyRunningDetail(*other), "Use This Copy", "Quit")) return 0;
  const bool asked = instance.send(InstanceRequest::quit);
  (void)stopProcess(other->pid, !asked, std::chrono::seconds(5), ourExecutable);
  if (instance.acquire()) {
    logLine("Quorvel: the other copy still holds the lock; running beside it");
  }
  return std::nullopt;
}

bool movedIntoApplications(Dialogs& dialogs, const std::optional<fs::path>& appImage, const fs::path& home,
                           const PlacementSystem& system) {
  const auto offer = placementOffer(appImage, home);
  if (!offer || !dialogs.ask(kMoveQuestion, kMoveDetail, "Move to Applications", "Not Now")) return false;
  const Status moved = place(*offer, system.trash);
  if (!moved) {
    logLine("Quorvel: could not move itself: " + moved.error());
    dialogs.tell(kMoveFailed, kMoveFailedDetail);
    return false;
  }
  if (!system.startShell(relaunchCommand(offer->destination))) {
    logLine("Quorvel: could not open the moved copy; open it from " + offer->destination.string());
  }
  return true;
}

bool developmentBuild(bool developerDataFolder, const fs::path& executable) {
  if (developerDataFolder) return true;
  std::error_code ignored;
  return !executable.empty() && fs::exists(executable.parent_path().parent_path() / "CMakeCache.txt", ignored);
}

}  // namespace quorvel
