// The launch steps before the application's own, placement and updates.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestSupport.h"
#include "app/launch/Launch.h"
#include "app/launch/Placement.h"
#include "app/launch/Updates.h"
#include "app/launch/LaunchFlow.h"
#include "app/launch/UpdateAnswers.h"
#include "tests/unit/app/ShellFakes.h"
#include "support/Settings.h"

extern char** environ;

namespace quorvel::testing {
namespace {

TEST(Launch, APredecessorsSettingsAreCopiedOnceAndOnlyWhereItSetThem) {
  TempDir dir;
  const fs::path theirs = dir / "vimmo.json";
  UserDefaults ours(dir / "ours.json");
  ASSERT_TRUE(ours.set("sound", true).ok());
  ASSERT_TRUE(ours.set("bubble", true).ok());
  // No predecessor file yet: nothing is marked, a later launch tries again.
  EXPECT_FALSE(migrateVimmoSettings(ours, theirs));
  EXPECT_FALSE(ours.contains(Settings::migratedFromPredecessor.key));

  writeTextFile(theirs, R"({"sound": false, "saveAudio": true, "somethingElse": 3})");
  EXPECT_TRUE(migrateVimmoSettings(ours, theirs));
  EXPECT_EQ(ours.boolValue("sound"), false);
  EXPECT_EQ(ours.boolValue("saveAudio"), true);
  EXPECT_EQ(ours.boolValue("bubble"), true);  // never set there: left alone
  EXPECT_FALSE(ours.contains("somethingElse"));
  EXPECT_EQ(ours.boolValue(Settings::migratedFromPredecessor.key), true);

  // Once only: a later change there is not copied again.
  ASSERT_TRUE(ours.set("sound", true).ok());
  writeTextFile(theirs, R"({"sound": false})");
  EXPECT_FALSE(migrateVimmoSettings(ours, theirs));
  EXPECT_EQ(ours.boolValue("sound"), true);
}

TEST(Launch, ACorruptPredecessorFileMarksNothing) {
  TempDir dir;
  writeTextFile(dir / "vimmo.json", "{not json");
  UserDefaults ours(dir / "ours.json");
  EXPECT_FALSE(migrateVimmoSettings(ours, dir / "vimmo.json"));
  EXPECT_FALSE(ours.contains(Settings::migratedFromPredecessor.key));
}

TEST(Launch, TheSameProgramReopensAndAnotherAsksTheUser) {
  EXPECT_EQ(instanceChoice(std::nullopt, "/usr/bin/quorvel"), InstanceChoice::run);
  EXPECT_EQ(instanceChoice(OtherCopy{42, "/usr/bin/quorvel"}, "/usr/bin/quorvel"), InstanceChoice::reopenOther);
  EXPECT_EQ(instanceChoice(OtherCopy{42, "/home/a/Applications/Quorvel.AppImage"}, "/usr/bin/quorvel"),
            InstanceChoice::askUser);
  EXPECT_EQ(instanceChoice(OtherCopy{42, ""}, "/usr/bin/quorvel"), InstanceChoice::askUser);
  EXPECT_EQ(alreadyRunningDetail(OtherCopy{42, ""}),
            "Another copy is in the menu bar (unknown location). Switch to this one?");
}

pid_t spawnShell(const char* script) {
  pid_t pid = 0;
  const char* argv[] = {"/bin/sh", "-c", script, nullptr};
  EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  return pid;
}

TEST(Launch, ACopyThatIgnoresQuitIsForcedOnlyWhenItIsOurs) {
  // A shell that ignores SIGTERM stands for a copy that does not quit.
  const char* stubborn = "trap '' TERM; i=0; while [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done";
  const pid_t notOurs = spawnShell(stubborn);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(stopProcess(notOurs, true, std::chrono::milliseconds(300), "/usr/bin/quorvel"));
  EXPECT_TRUE(processRunning(notOurs));
  const std::string shell = executableOf(notOurs);
  ASSERT_FALSE(shell.empty());
  EXPECT_TRUE(stopProcess(notOurs, true, std::chrono::milliseconds(300), shell));
  int status = 0;
  EXPECT_EQ(waitpid(notOurs, &status, 0), notOurs);
  EXPECT_TRUE(WIFSIGNALED(status));
}

TEST(Launch, OnlyACopyFromElsewhereAsksWhichOneRuns) {
  const std::string ours = "/usr/bin/quorvel";
  {  // The only copy: nothing asked.
    FakeInstance instance;
    FakeDialogs dialogs;
    EXPECT_EQ(becomeTheOnlyCopy(instance, dialogs, ours), std::nullopt);
    EXPECT_TRUE(dialogs.shown.empty());
  }
  {  // The same program again: the running copy shows itself, we end with 0.
    FakeInstance instance;
    instance.other = OtherCopy{42, ours};
    FakeDialogs dialogs;
    EXPECT_EQ(becomeTheOnlyCopy(instance, dialogs, ours), 0);
    EXPECT_EQ(instance.sent, std::vector<InstanceRequest>{InstanceRequest::reopen});
    EXPECT_TRUE(dialogs.shown.empty());
    instance.answers = false;  // one that does not answer changes nothing
    EXPECT_EQ(becomeTheOnlyCopy(instance, dialogs, ours), 0);
  }
  {  // A copy from elsewhere, and the user keeps it.
    FakeInstance instance;
    instance.other = OtherCopy{42, "/opt/Quorvel.AppImage"};
    FakeDialogs dialogs;
    EXPECT_EQ(becomeTheOnlyCopy(instance, dialogs, ours), 0);
    EXPECT_EQ(dialogs.shown, std::vector<std::string>{
                                 "ask: Quorvel is already running / Another copy is in the menu bar "
                                 "(/opt/Quorvel.AppImage). Switch to this one?"});
    EXPECT_TRUE(instance.sent.empty());
  }
}

TEST(Launch, UseThisCopyStopsTheOtherAndRunsEvenBesideOneThatStays) {
  // The other copy is a shell that ends at SIGTERM; it does not answer the
  // socket, so it is signalled.
  const pid_t other = spawnShell("sleep 30");
  FakeInstance instance;
  instance.other = OtherCopy{other, "/opt/Quorvel.AppImage"};
  instance.answers = false;
  FakeDialogs dialogs;
  dialogs.accept = true;
  EXPECT_EQ(becomeTheOnlyCopy(instance, dialogs, "/usr/bin/quorvel"), std::nullopt);
  EXPECT_EQ(instance.sent, std::vector<InstanceRequest>{InstanceRequest::quit});
  int status = 0;
  EXPECT_EQ(waitpid(other, &status, 0), other);
  EXPECT_TRUE(WIFSIGNALED(status));
}

TEST(Placement, TheMoveIsOfferedAndTheMovedCopyOpensInOurPlace) {
  TempDir dir;
  writeTextFile(dir / "Downloads/Quorvel.AppImage", "new");
  std::vector<std::string> started;
  PlacementSystem system;
  system.trash = [](const fs::path&) { return false; };
  system.startShell = [&](const std::string& command) {
    started.push_back(command);
    return true;
  };
  const fs::path appImage = dir / "Downloads/Quorvel.AppImage";

  FakeDialogs dialogs;  // "Not Now"
  EXPECT_FALSE(movedIntoApplications(dialogs, appImage, dir.path(), system));
  EXPECT_EQ(dialogs.shown.size(), 1u);
  EXPECT_TRUE(fs::exists(appImage));

  FakeDialogs none;  // not an AppImage: nothing asked
  EXPECT_FALSE(movedIntoApplications(none, std::nullopt, dir.path(), system));
  EXPECT_TRUE(none.shown.empty());

  // An older copy that can't go to the trash: told, and this copy runs on.
  writeTextFile(dir / "Applications/Quorvel.AppImage", "old");
  FakeDialogs failing;
  failing.accept = true;
  EXPECT_FALSE(movedIntoApplications(failing, appImage, dir.path(), system));
  ASSERT_EQ(failing.shown.size(), 2u);
  EXPECT_EQ(failing.shown[1], std::string("tell: ") + kMoveFailed + " / " + kMoveFailedDetail);
  EXPECT_TRUE(started.empty());

  fs::remove(dir / "Applications/Quorvel.AppImage");
  FakeDialogs moving;
  moving.accept = true;
  EXPECT_TRUE(movedIntoApplications(moving, appImage, dir.path(), system));
  EXPECT_EQ(readTextFile(dir / "Applications/Quorvel.AppImage"), "new");
  EXPECT_EQ(started, std::vector<std::string>{relaunchCommand(dir / "Applications/Quorvel.AppImage")});
  // A relaunch that could not start still ends this copy: the moved one is in place.
  system.startShell = [](const std::string&) { return false; };
  system.trash = [](const fs::path& path) { return fs::remove(path); };
  writeTextFile(appImage, "newer");
  EXPECT_TRUE(movedIntoApplications(moving, appImage, dir.path(), system));
  EXPECT_EQ(readTextFile(dir / "Applications/Quorvel.AppImage"), "newer");
}

TEST(Launch, ABuildTreeOrTheDevelopersDataNeverChecksForUpdatesOnItsOwn) {
  TempDir dir;
  writeTextFile(dir / "build/CMakeCache.txt", "");
  EXPECT_TRUE(developmentBuild(false, dir / "build/bin/quorvel"));
  EXPECT_TRUE(developmentBuild(true, "/usr/bin/quorvel"));
  EXPECT_FALSE(developmentBuild(false, dir / "usr/bin/quorvel"));
  EXPECT_FALSE(developmentBuild(false, ""));
}

TEST(Placement, AnAppImageFromDownloadsDesktopOrMediaIsOfferedAMove) {
  const fs::path home = "/home/ada";
  struct Case {
    std::optional<fs::path> appImage;
    bool offered;
    bool copy;
  };
  const Case cases[] = {
      {fs::path("/home/ada/Downloads/Quorvel-1.2.AppImage"), true, false},
      {fs::path("/home/ada/Desktop/Quorvel.AppImage"), true, false},
      {fs::path("/media/ada/USB/Quorvel.AppImage"), true, true},
      {fs::path("/run/media/ada/USB/Quorvel.AppImage"), true, true},
      {fs::path("/home/ada/Applications/Quorvel.AppImage"), false, false},
      {fs::path("/home/ada/src/quorvel/build/bin/quorvel"), false, false},
      {fs::path("/home/ada/DownloadsOld/Quorvel.AppImage"), false, false},
      {std::nullopt, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.appImage ? c.appImage->string() : "none");
    const auto offer = placementOffer(c.appImage, home);
    ASSERT_EQ(offer.has_value(), c.offered);
    if (!offer) continue;
    EXPECT_EQ(offer->copy, c.copy);
    EXPECT_EQ(offer->destination, "/home/ada/Applications/Quorvel.AppImage");
  }
}

TEST(Placement, AMoveTrashesTheOlderCopyFirstAndAFailedTrashMovesNothing) {
  TempDir dir;
  writeTextFile(dir / "Downloads/Quorvel.AppImage", "new");
  writeTextFile(dir / "Applications/Quorvel.AppImage", "old");
  auto offer = placementOffer(dir / "Downloads/Quorvel.AppImage", dir.path());
  ASSERT_TRUE(offer);
  EXPECT_FALSE(place(*offer, [](const fs::path&) { return false; }).ok());
  EXPECT_EQ(readTextFile(dir / "Applications/Quorvel.AppImage"), "old");
  EXPECT_TRUE(fs::exists(dir / "Downloads/Quorvel.AppImage"));

  std::vector<fs::path> trashed;
  const auto trash = [&](const fs::path& path) {
    trashed.push_back(path);
    fs::rename(path, dir / "trashed");
    return true;
  };
  ASSERT_TRUE(place(*offer, trash).ok());
  EXPECT_EQ(trashed, std::vector<fs::path>{dir / "Applications/Quorvel.AppImage"});
  EXPECT_EQ(readTextFile(dir / "Applications/Quorvel.AppImage"), "new");
  EXPECT_FALSE(fs::exists(dir / "Downloads/Quorvel.AppImage"));
  EXPECT_TRUE((fs::status(dir / "Applications/Quorvel.AppImage").permissions() & fs::perms::owner_exec) !=
              fs::perms::none);
  EXPECT_EQ(relaunchCommand("/home/o'brien/Applications/Quorvel.AppImage"),
            "sleep 1; exec '/home/o'\\''brien/Applications/Quorvel.AppImage' >/dev/null 2>&1");
}

TEST(Updates, VersionsCompareByNumbers) {
  EXPECT_GT(compareVersions("1.10.0", "1.9.2"), 0);
  EXPECT_LT(compareVersions("0.1.0", "0.1.1"), 0);
  EXPECT_EQ(compareVersions("1.2", "1.2.0"), 0);
  EXPECT_EQ(compareVersions("v2.0", "2.0.0"), 0);
  EXPECT_GT(compareVersions("2.0.0-beta", "1.99"), 0);
  EXPECT_FALSE(parseUpdateFeed("[]"));
  EXPECT_FALSE(parseUpdateFeed(R"({"version": "1.0", "url": "file:///etc/passwd"})"));
  EXPECT_FALSE(parseUpdateFeed(R"({"version": "soon", "url": "https://quorvel.app/get"})"));
  EXPECT_EQ(parseUpdateFeed(R"({"version": "1.0", "url": "https://quorvel.app/get"})"),
            (UpdateFeed{"1.0", "", "https://quorvel.app/get"}));
}

class UpdatesTest : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
  FakeMainLoop loop;
  ManualRunner runner;
  std::string feed = R"({"version": "0.2.0", "notes": "Faster.", "url": "https://quorvel.app/download"})";
  int fetches = 0;
  int changes = 0;
  std::vector<std::optional<UpdateFeed>> shown;
  std::vector<std::string> problems;

  std::unique_ptr<Updates> make(bool development, std::string feedUrl = "https://quorvel.app/update.json") {
    auto updates = std::make_unique<Updates>(loop, runner, "0.1.0", development, std::move(feedUrl),
                                             [this](const std::string&) -> Result<std::string> {
                                               ++fetches;
                                               return feed;
                                             });
    updates->onChange = [this] { ++changes; };
    updates->show = [this](const std::optional<UpdateFeed>& newer, const std::string& problem) {
      shown.push_back(newer);
      problems.push_back(problem);
    };
    return updates;
  }
  void runChecks(double seconds) {
    loop.advance(seconds);
    runner.runAll();
    loop.runPosted();
  }
};

TEST_F(UpdatesTest, ANewerVersionWaitsUntilTheUserHasSeenIt) {
  auto updates = make(false);
  updates->start();
  runChecks(60);
  EXPECT_EQ(fetches, 1);
  EXPECT_TRUE(updates->pending());
  EXPECT_EQ(updates->pendingVersion(), "0.2.0");
  EXPECT_EQ(changes, 1);
  updates->checkNow();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0]->notes, "Faster.");
  EXPECT_FALSE(updates->pending());
  EXPECT_EQ(changes, 2);
  // The next check is a day later.
  runChecks(3600);
  EXPECT_EQ(fetches, 1);
  runChecks(Updates::checkInterval);
  EXPECT_EQ(fetches, 2);
}

TEST_F(UpdatesTest, ADevelopmentBuildOrChecksSwitchedOffNeverCheckOnTheirOwn) {
  auto development = make(true);
  development->start();
  runChecks(2 * Updates::checkInterval);
  EXPECT_EQ(fetches, 0);
  development->checkNow();  // by hand it still works
  runner.runAll();
  loop.runPosted();
  EXPECT_EQ(fetches, 1);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0].has_value());

  auto off = make(false);
  off->setAutomatic(false);
  off->start();
  runChecks(2 * Updates::checkInterval);
  EXPECT_EQ(fetches, 1);
}

TEST_F(UpdatesTest, AnOlderOrUnreadableFeedAnnouncesNothing) {
  auto updates = make(false);
  feed = R"({"version": "0.1.0", "url": "https://quorvel.app/download"})";
  updates->start();
  runChecks(60);
  EXPECT_FALSE(updates->pending());
  feed = "<html>";
  updates->checkNow();
  runner.runAll();
  loop.runPosted();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_FALSE(shown[0].has_value());
  EXPECT_EQ(changes, 0);
}

TEST_F(UpdatesTest, ABuildWithoutAFeedNeverAsksAnyone) {
  EXPECT_FALSE(configuredUpdateFeed().has_value());  // the test build is configured without one
  auto updates = make(false, "");
  EXPECT_FALSE(updates->available());
  updates->start();
  runChecks(3 * Updates::checkInterval);
  updates->checkNow();
  runner.runAll();
  loop.runPosted();
  EXPECT_EQ(fetches, 0);
  EXPECT_TRUE(shown.empty());
  EXPECT_FALSE(updates->pending());
}

TEST_F(UpdatesTest, AnAnswerPointingAwayFromTheFeedsHostOpensNothing) {
  auto updates = make(false);
  feed = R"({"version": "9.0", "url": "https://quorvel.app.example.net/get"})";
  updates->start();
  runChecks(60);
  EXPECT_EQ(fetches, 1);
  EXPECT_FALSE(updates->pending());
  updates->checkNow();
  runner.runAll();
  loop.runPosted();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_FALSE(shown[0].has_value());
  EXPECT_NE(problems[0].find("another site"), std::string::npos) << problems[0];
}

TEST(UpdateAnswers, ACheckTheUserAskedForAlwaysSaysSomething) {
  std::vector<std::string> opened;
  const auto open = [&](const std::string& url) { opened.push_back(url); };
  FakeDialogs dialogs;
  const UpdateFeed newer{"0.2.0", "Faster.", "https://quorvel.app/download"};
  showUpdateAnswer(dialogs, newer, "", "0.1.0", open);  // "Later"
  EXPECT_TRUE(opened.empty());
  dialogs.accept = true;
  showUpdateAnswer(dialogs, newer, "", "0.1.0", open);
  EXPECT_EQ(opened, std::vector<std::string>{"https://quorvel.app/download"});
  showUpdateAnswer(dialogs, std::nullopt, "status 404", "0.1.0", open);
  showUpdateAnswer(dialogs, std::nullopt, "", "0.1.0", open);
  EXPECT_EQ(dialogs.shown, (std::vector<std::string>{
                               "ask: Quorvel 0.2.0 is available / Faster.",
                               "ask: Quorvel 0.2.0 is available / Faster.",
                               "tell: Couldn't check for updates / status 404",
                               "tell: Quorvel is up to date / You have version 0.1.0.",
                           }));
}

// Answers one request on 127.0.0.1 with `answer` (waits at most 10 s for it).
class OneAnswer {
 public:
  explicit OneAnswer(std::string answer) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), size), 0);
    EXPECT_EQ(::listen(listener_, 1), 0);
    EXPECT_EQ(::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size), 0);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, answer = std::move(answer)] {
      pollfd waiting{listener_, POLLIN, 0};
      if (::poll(&waiting, 1, 10000) != 1) return;
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      char request[4096];
      (void)::recv(client, request, sizeof request, 0);
      (void)!::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
      ::close(client);
    });
  }
  ~OneAnswer() {
    thread_.join();
    ::close(listener_);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/update.json"; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(UpdateAnswers, AFeedIsReadOnlyFromAnAnswerThatIsOk) {
  {
    OneAnswer server("HTTP/1.1 200 OK\r\nContent-Length: 16\r\nConnection: close\r\n\r\n{\"version\":\"1\"}\n");
    const auto feed = fetchUpdateFeed(server.url());
    ASSERT_TRUE(feed.ok()) << feed.error();
    EXPECT_EQ(*feed, "{\"version\":\"1\"}\n");
  }
  {
    OneAnswer server("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    const auto feed = fetchUpdateFeed(server.url());
    ASSERT_FALSE(feed.ok());
    EXPECT_EQ(feed.error(), "status 404");
  }
  // Nothing listens on a port just freed: the transfer's error comes back.
  const auto refused = fetchUpdateFeed("http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/update.json");
  ASSERT_FALSE(refused.ok());
  EXPECT_FALSE(refused.error().empty());
}

TEST(UpdateFeedPages, OnlyHttpsPagesOnTheFeedsOwnHostPass) {
  const std::string feed = "https://updates.example.org/quorvel/feed.json";
  struct Case {
    const char* page;
    bool passes;
  };
  const Case cases[] = {
      {"https://updates.example.org/quorvel/0.2", true},
      {"HTTPS://Updates.Example.org/download", true},
      {"https://updates.example.org:443/x", true},
      {"https://updates.example.org", true},
      {"http://updates.example.org/download", false},             // not https
      {"https://updates.example.org.evil.test/download", false},  // another host
      {"https://updates.example.org@evil.test/download", false},  // user information
      {"https://evil.test/?https://updates.example.org/", false},
      {"https://updates.example.org:8443/download", false},  // another port
      {"javascript:alert(1)", false},
      {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isPageOfFeed(c.page, feed), c.passes) << c.page;
  }
  EXPECT_FALSE(isPageOfFeed("https://updates.example.org/x", "http://updates.example.org/feed.json"));
}

}  // namespace
}  // namespace quorvel::testing
