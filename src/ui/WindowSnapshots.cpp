// Renders the windows for the snapshot modes.
#include "ui/WindowSnapshots.h"

#include <cstdio>

#include "app/note/BrainstormNote.h"
#include "app/windows/SnapshotBridge.h"
#include "support/Files.h"
#include "ui/DashboardWindow.h"
#include "ui/GuiStart.h"
#include "ui/NotePanel.h"
#include "ui/OnboardingWindow.h"
#include "ui/QtMainLoop.h"
#include "ui/UiKit.h"

namespace quorvel::ui {
namespace {

// A paragraph as someone would collect it in the note.
constexpr const char* kDemoParagraph =
    "Notes from the call with Dana. The pilot starts on the fourth of May with two teams, support and "
    "sales. We keep the old tool running for a month as a fallback. Dana wants a short guide for new users by "
    "Friday, and a weekly check-in on Tuesdays. Open question: who owns the data export? Ask Priya before the "
    "next call.";

// Nothing written anywhere but the folder: no clipboard, no typing.
class NoPaster final : public Paster {
 public:
  bool paste(const std::string&, PasteChord) override { return false; }
  bool copy(const std::string&) override { return false; }
};

// A folder that can't be made means no picture can be written: each would be
// skipped, so say it once and end as a skipped file would.
bool prepare(const std::string& folder) {
  if (createFolders(folder)) return true;
  std::fprintf(stderr, "quorvel: can't make the folder %s; no pictures written\n", folder.c_str());
  return false;
}

}  // namespace

int runNoteSnapshot(const std::string& folder, int& argc, char** argv) {
  if (!prepare(folder)) return 0;
  auto app = startGui(argc, argv, {true, Appearance::light});
  QtMainLoop loop;
  NoPaster paster;
  NoDesktop desktop;
  for (const bool dark : {false, true}) {
    setAppearance(dark ? Appearance::dark : Appearance::light);
    for (const bool filled : {false, true}) {
      BrainstormNote note(loop, paster, desktop, [](BrainstormNote& owner) {
        auto panel = std::make_unique<NotePanel>(owner);
        panel->setRemembersPlace(false);
        panel->widget()->setAttribute(Qt::WA_DontShowOnScreen);
        return panel;
      });
      note.show();
      auto* panel = static_cast<NotePanel*>(note.window());
      QWidget* widget = panel->widget();
      widget->resize(kNoteWidth, kNoteHeight);
      if (filled) {
        note.setContent(kDemoParagraph, "Added 61 words", SourceApp{"mail", "Mail", 0});
      } else {
        note.setContent("", "", std::nullopt);
      }
      // The editor shows the start of the note with the cursor at its end, as after dictating.
      runEventsFor(400);
      const std::string file = std::string("note-") + (filled ? "filled" : "empty") + (dark ? "-dark" : "") + ".png";
      writeSnapshot(*widget, (fs::path(folder) / file).string());
      panel->hide();
    }
  }
  return 0;
}

int runDashboardSnapshot(const std::string& folder, const std::vector<std::string>& args, int& argc, char** argv) {
  if (!prepare(folder)) return 0;
  const bool dark = snapshotDark(args);
  auto app = startGui(argc, argv, {true, dark ? Appearance::dark : Appearance::light});
  QtMainLoop loop;
  DashboardController::snapshots(folder, snapshotBridge(args, SnapshotWindow::dashboard), dark, loop);
  return 0;
}

int runOnboardingSnapshot(const std::string& folder, const std::vector<std::string>& args, int& argc, char** argv) {
  if (!prepare(folder)) return 0;
  const bool dark = snapshotDark(args);
  auto app = startGui(argc, argv, {true, dark ? Appearance::dark : Appearance::light});
  QtMainLoop loop;
  OnboardingController::snapshots(folder, snapshotBridge(args, SnapshotWindow::onboarding), dark, loop);
  return 0;
}

}  // namespace quorvel::ui
