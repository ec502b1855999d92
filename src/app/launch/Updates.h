// Update announcements: a small JSON feed {"version", "notes", "url"} checked
// over HTTPS at most once a day while automatic checks are on (the
// "autoUpdate" default, on unless set false) and never on its own for a
// development build. A newer version than ours waits as `pending` until the
// user has seen it; "Update Available…" shows it. A build configured without
// a feed (the default) has no updates at all: nothing is ever asked.
//
// Threading: main thread only; the fetch runs in a background task and its
// answer comes back through the main loop.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/core/MainLoop.h"
#include "app/core/TaskRunner.h"
#include "support/Result.h"

namespace quorvel {

struct UpdateFeed {
  std::string version;
  std::string notes;
  std::string url;  // the download page
  bool operator==(const UpdateFeed&) const = default;
};

// The feed's members; nothing when the text is not such an object, the
// version has no number in it, or the page is not an http(s) address.
std::optional<UpdateFeed> parseUpdateFeed(std::string_view text);
// Compares numeric components ("1.10.0" > "1.9.2"; a missing component is 0;
// anything after the digits of a component is ignored). -1, 0 or 1.
int compareVersions(std::string_view a, std::string_view b);

// The feed a packager set when configuring the build (-DQUORVEL_UPDATE_FEED=
// https://…); nothing for a build without one.
std::optional<std::string> configuredUpdateFeed();

// Whether page is an https address on the same host (and port) as feed: the
// only pages a feed's answer may open. Addresses with user information
// ("https://feed.example@elsewhere/") never pass.
bool isPageOfFeed(std::string_view page, std::string_view feed);

class Updates {
 public:
  using Fetch = std::function<Result<std::string>(const std::string& url)>;
  // What a manual check shows: the newer version's feed, or nothing when we
  // are up to date (or the feed could not be read: `problem` says why).
  using Show = std::function<void(const std::optional<UpdateFeed>& newer, const std::string& problem)>;

  // feedUrl: "" for a build without a feed; then nothing is ever fetched.
  Updates(MainLoop& loop, TaskRunner& runner, std::string ourVersion, bool developmentBuild, std::string feedUrl,
          Fetch fetch);
  ~Updates();
  Updates(const Updates&) = delete;
  Updates& operator=(const Updates&) = delete;

  // Run after every change of pending.
  std::function<void()> onChange;
  Show show;

  // Whether this build has a feed to ask (the settings rows show only then).
  bool available() const { return !feedUrl_.empty(); }
  bool pending() const { return pending_.has_value(); }
  std::optional<std::string> pendingVersion() const;
  bool automatic() const;
  void setAutomatic(bool on);

  // Schedules the daily check (unless development build or automatic off).
  void start();
  // "Update Available…" and "Check for Updates": shows a waiting update at
  // once, otherwise checks and shows the answer. Seeing it clears pending.
  void checkNow();

  static constexpr double checkInterval = 24 * 3600.0;

 private:
  void check(bool manual);
  void answered(const Result<std::string>& body, bool manual);

  MainLoop& loop_;
  TaskRunner& runner_;
  const std::string ourVersion_;
  const bool development_;
  const std::string feedUrl_;
  const Fetch fetch_;
  std::optional<UpdateFeed> pending_;
  MainLoop::TimerId timer_ = 0;
  std::shared_ptr<Updates*> self_;
};

}  // namespace quorvel
