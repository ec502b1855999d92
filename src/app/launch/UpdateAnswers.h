// The update check's two ends outside the schedule: reading the feed over
// HTTPS, and what a check the user asked for shows them.
//
// Threading: fetchUpdateFeed blocks (a worker's call); showUpdateAnswer runs
// on the main thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/tray/TrayView.h"
#include "app/launch/Updates.h"
#include "support/Result.h"

namespace quorvel {

// The feed's body when it answers 200 within 20 s; otherwise why not
// ("status 404", the transfer's error).
Result<std::string> fetchUpdateFeed(const std::string& url);

// A newer version is offered with its notes (the download page opens through
// openPage when the user accepts); a check that failed says why; otherwise
// the user hears that ourVersion is current.
void showUpdateAnswer(Dialogs& dialogs, const std::optional<UpdateFeed>& newer, const std::string& problem,
                      const std::string& ourVersion, const std::function<void(const std::string& url)>& openPage);

}  // namespace quorvel
