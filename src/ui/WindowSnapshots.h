// The command-line modes that render the note, the dashboard and onboarding
// to PNG files, offscreen, at twice their size.
#pragma once

#include <string>
#include <vector>

namespace quorvel::ui {

// Each answers the process's exit status: 0, also when a file could not be
// written (it is skipped, and a folder that can't be made is reported).
int runNoteSnapshot(const std::string& folder, int& argc, char** argv);
int runDashboardSnapshot(const std::string& folder, const std::vector<std::string>& args, int& argc, char** argv);
int runOnboardingSnapshot(const std::string& folder, const std::vector<std::string>& args, int& argc, char** argv);

}  // namespace quorvel::ui
