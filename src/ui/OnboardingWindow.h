// The first-run window "Set Up Quorvel": the splash, then the steps of the
// OnboardingModel with their pictures and one primary button each, and the
// snapshot pictures of every step.
//
// The application makes one controller and keeps it. Finishing marks
// onboarding as done ("dashboardSeen"), hides the window and runs
// onFinished; closing the window without finishing leaves it not done.
//
// Threading: main thread only.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "app/core/MainLoop.h"
#include "app/windows/OnboardingModel.h"

namespace quorvel::ui {

class OnboardingWindow;

class OnboardingController {
 public:
  // REQUIRES: loop outlives the controller.
  OnboardingController(SharedBridge bridge, MainLoop& loop);
  ~OnboardingController();
  OnboardingController(const OnboardingController&) = delete;
  OnboardingController& operator=(const OnboardingController&) = delete;

  // Shows the window; from the welcome step (with the splash and an empty
  // try box) when fromStart is true or the window was never shown.
  void show(bool fromStart);
  bool isVisible() const;
  void close();

  // Onboarding was finished once: launches show the dashboard instead.
  static bool finished();

  std::function<void()> onClose;     // the window was closed without finishing
  std::function<void()> onFinished;  // the last step was passed

  OnboardingModel& model() { return *model_; }

  // Renders every step to onboarding-<n>-<step>[-dark].png in `folder`, at
  // twice the size of the 620 × 660 window. SNAPSHOT_TRIED fills the try box
  // when nothing is running. Answers how many files were written.
  static int snapshots(const std::filesystem::path& folder, SharedBridge bridge, bool dark, MainLoop& loop);

 private:
  void finish();

  std::unique_ptr<OnboardingModel> model_;
  std::unique_ptr<OnboardingWindow> window_;
};

inline constexpr int kOnboardingWidth = 620;
inline constexpr int kOnboardingHeight = 660;

}  // namespace quorvel::ui
