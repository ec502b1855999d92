// Fetching the update feed and answering a manual check.
#include "app/launch/UpdateAnswers.h"

#include <chrono>

#include "support/Http.h"

namespace quorvel {

Result<std::string> fetchUpdateFeed(const std::string& url) {
  HttpRequest request;
  request.url = url;
  request.timeout = std::chrono::seconds(20);
  auto response = httpFetch(request);
  if (!response) return Error{response.error()};
  if (response.value().status != 200) return Error{"status " + std::to_string(response.value().status)};
  return response.value().body;
}

void showUpdateAnswer(Dialogs& dialogs, const std::optional<UpdateFeed>& newer, const std::string& problem,
                      const std::string& ourVersion, const std::function<void(const std::string& url)>& openPage) {
  if (newer) {
    if (dialogs.ask("Quorvel " + newer->version + " is available", newer->notes, "Open Download Page", "Later")) {
      openPage(newer->url);
    }
  } else if (!problem.empty()) {
    dialogs.tell("Couldn't check for updates", problem);
  } else {
    dialogs.tell("Quorvel is up to date", "You have version " + ourVersion + ".");
  }
}

}  // namespace quorvel
