// The program's entry: sets up the program-wide values, then runs the mode the
// command line asks for, or the desktop application.
#include <cstdio>
#include <string>
#include <vector>

#include "main/DesktopApp.h"
#include "main/LinuxSession.h"
#include "app/permissions/Diagnostics.h"
#include "app/cli/Dispatch.h"
#include "app/cli/DownloadModels.h"
#include "app/cli/DownloadCheck.h"
#include "app/cli/EngineRuns.h"
#include "platform/linux/MicAccessPulse.h"
#include "support/ProgramValues.h"
#include "ui/WindowSnapshots.h"
#include "ui/TagModes.h"

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "0.0.0"
#endif

namespace {

int notAvailableYet(const std::string& what) {
  std::fprintf(stderr, "quorvel: %s is not available in this build yet\n", what.c_str());
  return 3;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quorvel;
  // The spell-checker lock exists before anything can check a word.
  (void)spellLock();
  trimPieceEdges().store(true);
  setProgramArguments(std::vector<std::string>(argv, argv + argc));
  // Every window this program shows, in any mode, asks the session's window
  // system about compositing and workspaces.
  LinuxSession::installWindowSystem();

  const ModeChoice choice = chooseMode(programArguments());
  switch (choice.mode) {
    case Mode::help:
      std::fputs(usageText().c_str(), stdout);
      return 0;
    case Mode::version:
      std::printf("quorvel %s\n", QUORVEL_VERSION);
      return 0;
    case Mode::cursorContext: {
      // No window and no display needed: the accessibility bus is enough.
      const auto desktop = LinuxSession::look().accessibility();
      return runCursorContext(*desktop, choice.values.at(0), cursorContextWait());
    }
    case Mode::permissionsReport: {
      const LinuxSession session = LinuxSession::look();
      const auto desktop = session.accessibility();
      return runPermissionsReport(*desktop, pulseMicrophoneAccess(), choice.values.at(0), session.probeAccess());
    }
    case Mode::downloadTest:
      return runDownloadCheck(choice.values.at(0));
    case Mode::downloadModels:
      return runDownloadModels(programArguments());
    case Mode::bank:
      return runBank(choice.values.at(0), choice.values.at(1));
    case Mode::replay:
      return runReplay();
    case Mode::test:
      return runTest(programArguments());
    case Mode::tagDemo:
      return runTagDemo(argc, argv);
    case Mode::tagSnapshot:
      return runTagSnapshot(choice.values.at(0), argc, argv);
    case Mode::noteSnapshot:
      return ui::runNoteSnapshot(choice.values.at(0), argc, argv);
    case Mode::dashboardSnapshot:
      return ui::runDashboardSnapshot(choice.values.at(0), programArguments(), argc, argv);
    case Mode::onboardingSnapshot:
      return ui::runOnboardingSnapshot(choice.values.at(0), programArguments(), argc, argv);
    case Mode::app:
      return runDesktopApp(argc, argv);
    default:
      return notAvailableYet(choice.flag);
  }
}
