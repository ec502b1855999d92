// The dashboard window: the title strip with the models' status, four tabs
// (Home, History, Dictionary, Settings) over the DashboardModel, and the
// snapshot pictures of every page.
//
// The application makes one controller on first use and keeps it: closing
// the window only hides it. The model reads the user's files again whenever
// the window is shown or activated and whenever reload() is called.
//
// Threading: main thread only.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "app/windows/DashboardModel.h"
#include "app/core/MainLoop.h"

namespace quorvel::ui {

class DashboardWindow;

class DashboardController {
 public:
  // REQUIRES: loop outlives the controller.
  DashboardController(SharedBridge bridge, MainLoop& loop,
                      DashboardSources sources = DashboardSources::standard());
  ~DashboardController();
  DashboardController(const DashboardController&) = delete;
  DashboardController& operator=(const DashboardController&) = delete;

  // Reloads, switches to `page` when one is given, and brings the window to
  // the front (made on first use).
  void show(std::optional<Page> page = std::nullopt);
  // Reads the history and the dictionary again, while the window is visible
  // (after a dictation, a setup change, an update notice).
  void reload();
  bool isVisible() const;
  void close();

  DashboardModel& model() { return *model_; }

  // Renders every page (or the one SNAPSHOT_PAGE names) to
  // window-<page>[-dark].png in `folder`, at twice the size, 1120 points wide
  // and 780 high (SNAPSHOT_HEIGHT replaces the height). A file that cannot be
  // written is skipped. Answers how many files were written.
  static int snapshots(const std::filesystem::path& folder, SharedBridge bridge, bool dark, MainLoop& loop);

 private:
  std::unique_ptr<DashboardModel> model_;
  std::unique_ptr<DashboardWindow> window_;
};

inline constexpr int kDashboardWidth = 1120;
inline constexpr int kDashboardHeight = 780;

}  // namespace quorvel::ui
