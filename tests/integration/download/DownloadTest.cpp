// The model download against the test download host over loopback: pieces,
// resume, fall-backs, checksums, HTTPS, hosts that misbehave and disks that
// refuse to write. Files are small and the piece size and waits are shortened.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "DownloadHost.h"
#include "TestSupport.h"
#include "app/models/ModelStore.h"
#include "support/Log.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::DownloadHost;
using testing::HostRequest;
using testing::TempDir;

std::vector<fs::path> filesUnder(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder));
  }
  std::sort(files.begin(), files.end());
  return files;
}

class DownloadTest : public ::testing::Test {
 protected:
  DownloadTest() {
    settings.pieceSize = 1000;
    settings.retryStep = 1ms;
    settings.pieceTimeout = 3000ms;
    settings.wholeTimeout = 3000ms;
    fs::create_directories(served);
  }

  void startHost(std::vector<std::string> flags = {}, bool tls = false) {
    host = std::make_unique<DownloadHost>(served, temp / "host", std::move(flags), tls);
  }

  // Puts data on the host as name and describes it as an item stored at file.
  ModelStore::Item serve(const std::string& name, const std::string& data,
                         const std::string& file = "") {
    testing::writeTextFile(served / name, data);
    return ModelStore::Item{file.empty() ? name : file, host->url(name), testing::sha256Hex(data),
                            static_cast<std::int64_t>(data.size()), "test model"};
  }

  bool download(const std::vector<ModelStore::Item>& items) {
    return ModelStore::download(
        items, target,
        [this](std::int64_t done, std::int64_t total) { reports.emplace_back(done, total); },
        [this](const std::string& message) { messages.push_back(message); }, settings);
  }

  std::vector<HostRequest> requestsFor(const std::string& name) const {
    std::vector<HostRequest> found;
    for (const auto& request : host->requests()) {
      if (request.path == "/" + name || request.path == "/moved/" + name) found.push_back(request);
    }
    return found;
  }

  std::vector<std::string> rangesAsked(const std::string& name) const {
    std::vector<std::string> ranges;
    for (const auto& request : requestsFor(name)) ranges.push_back(request.range);
    return ranges;
  }

  // Nothing of the item is at its destination, not even the joining file.
  void expectNothingAt(const std::string& file) const {
    EXPECT_FALSE(fs::exists(target / file)) << file;
    EXPECT_FALSE(fs::exists(target / (file + ".download"))) << file;
  }

  // With the host answering every range with `fault`, each piece is refused
  // and the whole fetch, verified, puts the file right.
  void expectEveryPieceRefusedWith(const std::string& fault) {
    startHost({fault, "--faults-on", "ranged"});
    settings.triesPerPiece = 1;
    const std::string data = testing::randomBytes(2500, 12);
    const auto item = serve("big.bin", data);

    ASSERT_TRUE(download({item}));
    EXPECT_EQ(testing::readTextFile(target / "big.bin"), data);
    EXPECT_TRUE(logs.contains("Quorvel: piece big.bin.0: the server answered 206 with 1000 bytes"));
    EXPECT_EQ(rangesAsked("big.bin").back(), "-");
  }

  bool anyMessageStartsWith(const std::string& prefix) const {
    return std::any_of(messages.begin(), messages.end(),
                       [&](const std::string& m) { return m.starts_with(prefix); });
  }

  TempDir temp;
  fs::path served = temp / "served";
  fs::path target = temp / "models";
  ModelStore::DownloadSettings settings;
  std::unique_ptr<DownloadHost> host;
  LogCapture logs;
  std::vector<std::pair<std::int64_t, std::int64_t>> reports;
  std::vector<std::string> messages;
};

TEST_F(DownloadTest, PiecesAreFetchedByRangeThenJoinedAndVerified) {
  startHost();
  const std::string data = testing::randomBytes(4500, 1);
  const auto item = serve("layer.bin", data, "adapters/layer-5.gguf");

  ASSERT_TRUE(download({item}));
  EXPECT_EQ(testing::readTextFile(target / "adapters/layer-5.gguf"), data);
  EXPECT_EQ(filesUnder(target), std::vector<fs::path>{"adapters/layer-5.gguf"});  // no parts left
  auto ranges = rangesAsked("layer.bin");
  std::sort(ranges.begin(), ranges.end());
  EXPECT_EQ(ranges, (std::vector<std::string>{"bytes=0-999", "bytes=1000-1999", "bytes=2000-2999",
                                              "bytes=3000-3999", "bytes=4000-4499"}));
  for (const auto& request : requestsFor("layer.bin")) EXPECT_EQ(request.status, 206);

  ASSERT_EQ(reports.size(), 6u);
  EXPECT_EQ(reports.front(), (std::pair<std::int64_t, std::int64_t>(0, 4500)));
  EXPECT_EQ(reports.back(), (std::pair<std::int64_t, std::int64_t>(4500, 4500)));
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
  ASSERT_EQ(messages.size(), 7u);
  EXPECT_EQ(messages.front(), "Downloading Quorvel's models… 0% of 0.0 GB");
  EXPECT_EQ(messages[5], "Downloading Quorvel's models… 99% of 0.0 GB");  // never 100
  EXPECT_EQ(messages.back(), "Starting the models…");
}

TEST_F(DownloadTest, ASinglePieceIsFetchedWholeWithoutARange) {
  startHost();
  const std::string data = testing::randomBytes(1000, 2);
  const auto item = serve("one.bin", data);

  ASSERT_TRUE(download({item}));
  EXPECT_EQ(testing::readTextFile(target / "one.bin"), data);
  const auto requests = requestsFor("one.bin");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].range, "-");
  EXPECT_EQ(requests[0].status, 200);
}

TEST_F(DownloadTest, PiecesOfAnEarlierRunAreKeptAndOnlyTheOthersFetched) {
  startHost();
  const std::string data = testing::randomBytes(5000, 3);
  const auto item = serve("big.bin", data, "sub/big.bin");
  const fs::path parts = target / ".parts";
  testing::writeTextFile(parts / "sub_big.bin.0", data.substr(0, 1000));
  testing::writeTextFile(parts / "sub_big.bin.2", data.substr(2000, 1000));
  testing::writeTextFile(parts / "sub_big.bin.1", data.substr(1000, 10));  // cut short: fetched again

  ASSERT_TRUE(download({item}));
  EXPECT_EQ(testing::readTextFile(target / "sub/big.bin"), data);
  auto ranges = rangesAsked("big.bin");
  std::sort(ranges.begin(), ranges.end());
  EXPECT_EQ(ranges,
            (std::vector<std::string>{"bytes=1000-1999", "bytes=3000-3999", "bytes=4000-4999"}));
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.front().first, 2000);
  EXPECT_FALSE(fs::exists(parts));
}

TEST_F(DownloadTest, AHostThatIgnoresRangesIsAskedForTheFileWholeAtOnce) {
  startHost({"--ignore-ranges"});
  settings.piecesAtOnce = 1;  // in order, so the first answer decides for the rest
  const std::string data = testing::randomBytes(2500, 4);
  const auto item = serve("big.bin", data);

  ASSERT_TRUE(download({item}));
  EXPECT_EQ(testing::readTextFile(target / "big.bin"), data);
  // One ranged request shows that the host ignores ranges; no piece is retried.
  EXPECT_EQ(rangesAsked("big.bin"), (std::vector<std::string>{"bytes=0-999", "-"}));
  EXPECT_TRUE(logs.contains("Quorvel: piece big.bin.0: the server ignores byte ranges"));
  EXPECT_TRUE(logs.contains("Quorvel: big.bin: the pieces didn't work out, downloading it whole"));
  EXPECT_EQ(messages.back(), "Starting the models…");
}

// After the n-th failed try a piece waits n steps: three pauses of 1, 2 and 3
// steps before its fourth try, so a flaky host gets ever more room.
TEST_F(DownloadTest, ThePauseBeforeEachRetryOfAPieceGrowsByAStep) {
  settings.retryStep = 200ms;
  startHost({"--fail-first", "3"});
  const auto item = serve("big.bin", testing::randomBytes(1500, 11));

  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(download({item}));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const auto ranges = rangesAsked("big.bin");
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "bytes=0-999"), 4);
  // 1 + 2 + 3 steps; equal pauses would take half of it.
  EXPECT_GE(elapsed, 6 * settings.retryStep);
}

TEST_F(DownloadTest, APieceWhoseContentRangeNamesOtherBytesIsRefused) {
  expectEveryPieceRefusedWith("--wrong-range");
}

TEST_F(DownloadTest, APieceWhoseContentRangeHasTheRightStartButAWrongEndIsRefused) {
  expectEveryPieceRefusedWith("--wrong-range-end");
}

TEST_F(DownloadTest, ARedirectFromHttpsToPlainHttpIsNotFollowed) {
  startHost({"--redirect", "plain"}, /*tls=*/true);
  settings.caFile = host->caFile().string();
  settings.triesPerPiece = 1;
  const std::string data = testing::randomBytes(2500, 13);
  const auto item = serve("secure.bin", data);
  ASSERT_TRUE(item.url.starts_with("https://"));

  EXPECT_FALSE(download({item}));
  expectNothingAt("secure.bin");
  EXPECT_TRUE(logs.contains("Quorvel: download of secure.bin failed: "));
  for (const auto& request : host->requests()) EXPECT_EQ(request.status, 302) << request.path;
}

TEST_F(DownloadTest, AChecksumOneDigitOffDeletesThePiecesAndFailsAfterTheWholeFetch) {
  startHost();
  const std::string data = testing::randomBytes(3000, 5);
  auto item = serve("big.bin", data, "models/big.bin");
  item.sha256[10] = item.sha256[10] == '0' ? '1' : '0';

  EXPECT_FALSE(download({item}));
  expectNothingAt("models/big.bin");
  EXPECT_TRUE(logs.contains("Quorvel: big.bin: put together, but the checksum didn't match"));
  EXPECT_TRUE(logs.contains("Quorvel: models/big.bin: the pieces didn't work out, downloading it whole"));
  EXPECT_TRUE(logs.contains("Quorvel: download of big.bin failed: bad response or checksum"));
  EXPECT_EQ(filesUnder(target / ".parts"), std::vector<fs::path>{});  // pieces deleted
  const auto ranges = rangesAsked("big.bin");
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "-"), 1);
  EXPECT_NE(messages.back(), "Starting the models…");
}

TEST_F(DownloadTest, CorruptPiecesAreReplacedByAGoodWholeFile) {
  startHost({"--corrupt", "--faults-on", "ranged"});
  const std::string data = testing::randomBytes(3000, 6);
  const auto item = serve("big.bin", data);

  ASSERT_TRUE(download({item}));
  EXPECT_EQ(testing::readTextFile(target / "big.bin"), data);
  EXPECT_TRUE(logs.contains("put together, but the checksum didn't match"));
}

TEST_F(DownloadTest, FailedTriesAreRetriedAndTheLogSaysWhatTheServerAnswered) {
  startHost({"--fail-first", "2"});
  const std::string data = testing::randomBytes(2000, 7);
  const auto item = serve("big.bin", data);

  ASSERT_TRUE(download({item}));
  EXPECT_EQ(testing::readTextFile(target / "big.bin"), data);
  const auto ranges = rangesAsked("big.bin");
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "bytes=0-999"), 3);
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "bytes=1000-1999"), 3);
  EXPECT_TRUE(logs.contains("Quorvel: piece big.bin.1: the server answered 500 with 16 bytes"));
  EXPECT_FALSE(logs.contains("downloading it whole"));
}

TEST_F(DownloadTest, HttpsWorksWithTheHostsCertificateAndFailsWithoutIt) {
  startHost({}, /*tls=*/true);
  const std::string data = testing::randomBytes(2500, 8);
  const auto item = serve("secure.bin", data);
  ASSERT_TRUE(item.url.starts_with("https://"));

  settings.caFile = host->caFile().string();
  ASSERT_TRUE(download({item}));
  EXPECT_EQ(testing::readTextFile(target / "secure.bin"), data);

  fs::remove(target / "secure.bin");
  settings.caFile = (temp / "no-such-bundle.pem").string();
  EXPECT_FALSE(download({item}));
  expectNothingAt("secure.bin");
}

struct BadHost {
  const char* name;
  std::vector<std::string> flags;
  const char* logged;  // part of a log line the failure must leave
};

void PrintTo(const BadHost& host, std::ostream* out) { *out << host.name; }

class BadHostTest : public DownloadTest, public ::testing::WithParamInterface<BadHost> {};

// Every one of these ends false with nothing at the destination.
TEST_P(BadHostTest, EndsFalseWithoutAFileAtTheDestination) {
  startHost(GetParam().flags);
  settings.pieceTimeout = 300ms;
  settings.wholeTimeout = 300ms;
  settings.triesPerPiece = 2;  // a stalled try lasts about a second however short the limit
  const std::string data = testing::randomBytes(2500, 9);
  const auto item = serve("big.bin", data, "adapters/big.gguf");

  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(download({item}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);  // a bound, not a speed target
  expectNothingAt("adapters/big.gguf");
  EXPECT_TRUE(logs.contains(GetParam().logged)) << GetParam().logged;
  // What was received is never longer than what was asked for.
  for (const auto& file : filesUnder(target / ".parts")) {
    EXPECT_LE(fs::file_size(target / ".parts" / file), 1000u) << file;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, BadHostTest,
    ::testing::Values(
        BadHost{"ClosesMidBody", {"--short", "100"}, "Quorvel: download of big.bin failed: "},
        BadHost{"SendsMoreThanAsked", {"--extra", "100"},
                "Quorvel: piece adapters_big.gguf.0: the server answered 206 with "},
        BadHost{"SendsLessAndSaysSo", {"--truncate", "100"},
                "Quorvel: piece adapters_big.gguf.0: the server answered 206 with 900 bytes"},
        BadHost{"RedirectsInALoop", {"--redirect", "loop"}, "Quorvel: download of big.bin failed: "},
        BadHost{"Stalls", {"--stall", "5000"},
                "Quorvel: download of big.bin failed: the request timed out"},
        BadHost{"ServesAChangedByte", {"--corrupt"}, "put together, but the checksum didn't match"},
        BadHost{"AlwaysFails", {"--fail-first", "100"}, "the server answered 500 with "}),
    [](const ::testing::TestParamInfo<BadHost>& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, ARedirectIsFollowedAndTheFileStillVerified) {
  startHost({"--redirect", "moved"});
  const std::string data = testing::randomBytes(2500, 10);
  const auto item = serve("big.bin", data);

  ASSERT_TRUE(download({item}));
  EXPECT_EQ(testing::readTextFile(target / "big.bin"), data);
  bool followed = false;
  for (const auto& request : host->requests()) followed |= request.path.starts_with("/moved/");
  EXPECT_TRUE(followed);
}

TEST_F(DownloadTest, ASizeTheHostCannotServeEndsWithTheVerifiedFileFetchedWhole) {
  startHost();
  const std::string data = testing::randomBytes(2500, 11);
  auto item = serve("big.bin", data);
  item.bytes = 3200;  // the table says more than the host has; the checksum decides

  EXPECT_TRUE(download({item}));
  EXPECT_EQ(testing::readTextFile(target / "big.bin"), data);
  EXPECT_TRUE(logs.contains("Quorvel: piece big.bin.2: the server answered 206 with 500 bytes"));
  EXPECT_TRUE(logs.contains("Quorvel: piece big.bin.3: the server answered 416 with 0 bytes"));
}

TEST_F(DownloadTest, AnItemWithoutAUsableAddressEndsAtOnceWithItsLabel) {
  startHost();
  const auto good = serve("a.bin", "abc");
  ModelStore::Item bad{"b.bin", "not a url", std::string(64, '0'), 10, "speech model"};

  EXPECT_FALSE(download({good, bad}));
  EXPECT_EQ(messages, std::vector<std::string>{"Speech Model isn't available to download yet"});
  EXPECT_TRUE(host->requests().empty());

  ModelStore::Item escaping = good;
  escaping.file = "../outside.bin";
  messages.clear();
  EXPECT_FALSE(download({escaping}));
  EXPECT_FALSE(fs::exists(temp / "outside.bin"));
  EXPECT_EQ(messages, std::vector<std::string>{"Test Model isn't available to download yet"});
}

TEST_F(DownloadTest, AFailedWholeFetchLeavesTheLaterItemsAlone) {
  startHost();
  auto first = serve("first.bin", testing::randomBytes(1500, 12));
  first.sha256 = std::string(64, 'f');
  const auto second = serve("second.bin", testing::randomBytes(500, 13));

  EXPECT_FALSE(download({first, second}));
  EXPECT_FALSE(fs::exists(target / "second.bin"));
  // The second item's piece arrived and stays for the next run.
  EXPECT_TRUE(fs::exists(target / ".parts" / "second.bin.0"));
  const auto asked = rangesAsked("second.bin");
  EXPECT_EQ(asked, std::vector<std::string>{"-"});
}

TEST_F(DownloadTest, AFolderThatCannotBeCreatedFailsAtOnceWithAMessage) {
  startHost();
  const auto item = serve("big.bin", testing::randomBytes(2500, 14));
  testing::writeTextFile(temp / "a-file", "in the way");
  target = temp / "a-file" / "models";

  EXPECT_FALSE(download({item}));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].starts_with("Couldn't save the models: ")) << messages[0];
  EXPECT_TRUE(host->requests().empty());
}

TEST_F(DownloadTest, AFullDiskWhileJoiningKeepsThePiecesForTheNextRun) {
  startHost();
  const std::string data = testing::randomBytes(4000, 15);
  const auto item = serve("big.bin", data);

  // Writing past 2500 bytes fails in this process, as on a full disk: the
  // pieces fit, the joined file does not.
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 2500;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool first = download({item});
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);

  EXPECT_FALSE(first);
  expectNothingAt("big.bin");
  ASSERT_FALSE(messages.empty());
  EXPECT_TRUE(messages.back().starts_with("Couldn't save the models: ")) << messages.back();
  EXPECT_NE(messages.back().find("File too large"), std::string::npos) << messages.back();
  EXPECT_EQ(filesUnder(target / ".parts").size(), 4u);
  EXPECT_FALSE(logs.contains("downloading it whole"));

  const auto requestsBefore = host->requests().size();
  ASSERT_TRUE(download({item}));
  EXPECT_EQ(testing::readTextFile(target / "big.bin"), data);
  EXPECT_EQ(host->requests().size(), requestsBefore);  // nothing fetched again
}

TEST_F(DownloadTest, AFullDiskWhileFetchingStopsWithoutRetrying) {
  startHost();
  const auto item = serve("big.bin", testing::randomBytes(12000, 16));

  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 500;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool result = download({item});
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);

  EXPECT_FALSE(result);
  expectNothingAt("big.bin");
  EXPECT_TRUE(messages.back().starts_with("Couldn't save the models: ")) << messages.back();
  EXPECT_LE(host->requests().size(), 6u);  // the pieces under way at most, none tried again
}

TEST_F(DownloadTest, SixPiecesAreFetchedAtOnce) {
  startHost({"--stall", "600"});
  const std::string data = testing::randomBytes(12000, 17);
  const auto item = serve("big.bin", data);

  ASSERT_TRUE(download({item}));
  int most = 0;
  for (const auto& request : host->requests()) most = std::max(most, request.active);
  EXPECT_EQ(most, 6);
  EXPECT_EQ(host->requests().size(), 12u);
}

TEST_F(DownloadTest, ASecondDownloadIntoTheSameFolderIsRefused) {
  startHost();
  const auto item = serve("big.bin", testing::randomBytes(1500, 18));
  fs::create_directories(target);
  const int fd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);

  EXPECT_FALSE(download({item}));
  ::close(fd);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Another download into " + target.string() + " is running.");
  EXPECT_TRUE(host->requests().empty());
}

TEST_F(DownloadTest, CancellingEndsAStalledDownloadSoon) {
  startHost({"--stall", "10000"});
  settings.pieceTimeout = 60s;
  settings.wholeTimeout = 60s;
  const auto item = serve("big.bin", testing::randomBytes(3000, 19));

  std::jthread canceller([token = settings.cancel] {
    std::this_thread::sleep_for(300ms);
    token.cancel();
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(download({item}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 8s);
  expectNothingAt("big.bin");
}

}  // namespace
}  // namespace quorvel
