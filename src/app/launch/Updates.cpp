// The update feed: fetched, compared with our version, announced.
#include "app/launch/Updates.h"

#include <cctype>
#include <vector>

#include "app/models/ModelStore.h"
#include "support/Json.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace quorvel {

namespace {

constexpr double kFirstCheckDelay = 30.0;

std::vector<long long> components(std::string_view version) {
  std::vector<long long> numbers;
  std::size_t at = 0;
  if (!version.empty() && (version[0] == 'v' || version[0] == 'V')) at = 1;
  while (at <= version.size()) {
    const std::size_t dot = version.find('.', at);
    const std::string_view part = version.substr(at, dot == std::string_view::npos ? std::string_view::npos : dot - at);
    long long value = 0;
    for (char c : part) {
      if (!std::isdigit(static_cast<unsigned char>(c))) break;
      value = std::min<long long>(value * 10 + (c - '0'), 1'000'000'000);
    }
    numbers.push_back(value);
    if (dot == std::string_view::npos) break;
    at = dot + 1;
  }
  return numbers;
}

double secondsSinceEpoch() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::optional<UpdateFeed> parseUpdateFeed(std::string_view text) {
  const auto json = parseJson(text);
  if (!json || !json->is_object()) return std::nullopt;
  const auto member = [&](const char* key) -> std::optional<std::string> {
    const auto found = json->find(key);
    if (found == json->end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
  };
  auto version = member("version");
  auto url = member("url");
  if (!version || version->find_first_of("0123456789") == std::string::npos) return std::nullopt;
  if (!url || !ModelStore::isUsableUrl(*url)) return std::nullopt;
  return UpdateFeed{*version, member("notes").value_or(""), *url};
}

int compareVersions(std::string_view a, std::string_view b) {
  auto left = components(a);
  auto right = components(b);
  const std::size_t size = std::max(left.size(), right.size());
  left.resize(size, 0);
  right.resize(size, 0);
  if (left < right) return -1;
  return left == right ? 0 : 1;
}

std::optional<std::string> configuredUpdateFeed() {
#ifdef QUORVEL_UPDATE_FEED_URL
  return std::string(QUORVEL_UPDATE_FEED_URL);
#else
  return std::nullopt;
#endif
}

bool isPageOfFeed(std::string_view page, std::string_view feed) {
  // The authority of an https address, lower-cased; nothing when the address
  // is not https or names a user.
  const auto authority = [](std::string_view url) -> std::optional<std::string> {
    constexpr std::string_view scheme = "https://";
    if (url.size() <= scheme.size()) return std::nullopt;
    std::string head(url.substr(0, scheme.size()));
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (head != scheme) return std::nullopt;
    const std::string_view rest = url.substr(scheme.size());
    std::string host(rest.substr(0, rest.find_first_of("/?#")));
    if (host.empty() || host.find_first_of("@\\ ") != std::string::npos) return std::nullopt;
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (host.ends_with(":443")) host.resize(host.size() - 4);
    if (host.ends_with(".")) host.pop_back();
    return host;
  };
  const auto pageHost = authority(page);
  return pageHost && ModelStore::isUsableUrl(page) && pageHost == authority(feed);
}

Updates::Updates(MainLoop& loop, TaskRunner& runner, std::string ourVersion, bool developmentBuild,
                 std::string feedUrl, Fetch fetch)
    : loop_(loop),
      runner_(runner),
      ourVersion_(std::move(ourVersion)),
      development_(developmentBuild),
      feedUrl_(std::move(feedUrl)),
      fetch_(std::move(fetch)),
      self_(std::make_shared<Updates*>(this)) {}

Updates::~Updates() { loop_.cancel(timer_); }

std::optional<std::string> Updates::pendingVersion() const {
  if (!pending_) return std::nullopt;
  return pending_->version;
}

bool Updates::automatic() const { return Settings::automaticUpdates.read(); }

void Updates::setAutomatic(bool on) {
  if (const Status saved = Settings::automaticUpdates.write(on); !saved) {
    logLine("Quorvel: could not save the update setting: " + saved.error());
  }
  if (on) start();
}

void Updates::start() {
  if (!available() || development_ || !automatic()) return;
  loop_.cancel(timer_);
  // Once a day, counted across launches: a launch soon after the last check
  // waits for the rest of the day.
  const double since = secondsSinceEpoch() - Settings::updateCheckedAt.read();
  const double first = since >= checkInterval || since < 0 ? kFirstCheckDelay : checkInterval - since;
  timer_ = loop_.after(Seconds(first), [this] {
    check(false);
    timer_ = loop_.every(Seconds(checkInterval), [this] { check(false); });
  });
}

void Updates::checkNow() {
  if (!available()) return;
  if (pending_) {
    const UpdateFeed seen = *pending_;
    pending_.reset();
    if (show) show(seen, "");
    if (onChange) onChange();
    return;
  }
  check(true);
}

void Updates::check(bool manual) {
  if (!available() || (!manual && (development_ || !automatic()))) return;
  std::weak_ptr<Updates*> self = self_;
  MainLoop& loop = loop_;
  runner_.run([fetch = fetch_, url = feedUrl_, self, &loop, manual] {
    auto body = fetch(url);
    loop.post([self, body = std::move(body), manual] {
      if (const auto alive = self.lock()) (*alive)->answered(body, manual);
    });
  });
}

void Updates::answered(const Result<std::string>& body, bool manual) {
  std::optional<UpdateFeed> feed;
  std::string problem;
  if (!body) {
    problem = "The update check failed: " + body.error();
  } else if (!(feed = parseUpdateFeed(body.value()))) {
    problem = "The update information could not be read.";
  } else if (!isPageOfFeed(feed->url, feedUrl_)) {
    // Only a page on the feed's own host opens in the browser.
    problem = "The update information points to another site: " + feed->url;
    feed.reset();
  }
  if (!problem.empty()) {
    logLine("Quorvel: " + problem);
    if (manual && show) show(std::nullopt, problem);
    return;
  }
  (void)UserDefaults().set(Settings::updateCheckedAt.key, secondsSinceEpoch());
  const bool newer = compareVersions(feed->version, ourVersion_) > 0;
  if (manual) {
    if (show) show(newer ? feed : std::nullopt, "");
    if (pending_) {
      pending_.reset();
      if (onChange) onChange();
    }
    return;
  }
  if (newer && pending_ != feed) {
    pending_ = feed;
    if (onChange) onChange();
  }
}

}  // namespace quorvel
