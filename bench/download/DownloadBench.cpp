// Measures the model download against the loopback download host with the
// product's settings (8,000,000-byte pieces, six at once): the throughput of
// the pieces, the rate of joining and hashing them, and the whole download.
//
//   quorvel-download-bench prepare WORK BYTES   make WORK/served/model.bin and its checksum
//   quorvel-download-bench download WORK        one download from the host into WORK/target
//   quorvel-download-bench join WORK            pieces laid out by hand, then joined and hashed
//
// Run each under /usr/bin/time -v to see its peak memory (run-download-bench does).
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/models/ModelStore.h"
#include "support/ChildProcess.h"

namespace {

using namespace quorvel;
using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
double megabytesPerSecond(std::int64_t bytes, Clock::duration d) { return bytes / 1e6 / seconds(d); }

// User and system time of the whole process so far, every thread included.
double cpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto toSeconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
}

fs::path served(const fs::path& work) { return work / "served" / "model.bin"; }

int prepare(const fs::path& work, std::int64_t bytes) {
  fs::create_directories(work / "served");
  std::error_code error;
  if (fs::file_size(served(work), error) != static_cast<std::uintmax_t>(bytes) || error) {
    std::FILE* out = std::fopen(served(work).c_str(), "wb");
    if (out == nullptr) return 1;
    // Fast, not compressible: a 64-bit xorshift stream.
    std::vector<std::uint64_t> block(1 << 20);
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (std::int64_t left = bytes; left > 0;) {
      for (auto& word : block) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        word = state;
      }
      const auto count = static_cast<std::size_t>(std::min<std::int64_t>(left, block.size() * 8));
      if (std::fwrite(block.data(), 1, count, out) != count) return 1;
      left -= static_cast<std::int64_t>(count);
    }
    if (std::fclose(out) != 0) return 1;
  }
  const auto started = Clock::now();
  const auto digest = ModelStore::fileSHA256(served(work));
  const auto took = Clock::now() - started;
  if (!digest) return 1;
  std::ofstream(work / "served" / "model.sha256") << *digest << "\n";
  std::printf("file: %lld bytes, sha256 %s\n", static_cast<long long>(bytes), digest->c_str());
  std::printf("hash alone (fileSHA256, warm cache): %.0f MB/s\n", megabytesPerSecond(bytes, took));
  return 0;
}

ModelStore::Item servedItem(const fs::path& work, const std::string& url) {
  std::string digest;
  std::ifstream(work / "served" / "model.sha256") >> digest;
  ModelStore::Item item;
  item.file = "model.bin";
  item.url = url;
  item.sha256 = digest;
  item.bytes = static_cast<std::int64_t>(fs::file_size(served(work)));
  item.label = "benchmark model";
  return item;
}

int download(const fs::path& work) {
  const fs::path hostWork = work / "host";
  fs::remove_all(hostWork);
  fs::create_directories(hostWork);
  LaunchOptions options;
  options.executable = (fs::read_symlink("/proc/self/exe").parent_path() / "quorvel-download-host").string();
  options.arguments = {"--root", (work / "served").string(), "--port", "0", "--ready-file",
                       (hostWork / "ready").string()};
  options.outputFile = hostWork / "host.out";
  auto host = ChildProcess::launch(options);
  if (!host) {
    std::fprintf(stderr, "can't start the host: %s\n", host.error().c_str());
    return 1;
  }
  int port = 0;
  for (int i = 0; i < 500 && port == 0; ++i) {
    std::ifstream(hostWork / "ready") >> port;
    if (port == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (port == 0) {
    (*host)->kill();
    return 1;
  }

  const auto item = servedItem(work, "http://127.0.0.1:" + std::to_string(port) + "/model.bin");
  const fs::path target = work / "target";
  fs::remove_all(target);
  const auto started = Clock::now();
  Clock::time_point piecesDone = started;
  const bool ok = ModelStore::download(
      {item}, target,
      [&](std::int64_t done, std::int64_t total) {
        if (done == total) piecesDone = Clock::now();
      },
      nullptr, ModelStore::DownloadSettings{});
  const auto finished = Clock::now();
  (*host)->terminate();
  (*host)->waitForExit(std::chrono::seconds(10));
  if (!ok) {
    std::fprintf(stderr, "the download failed\n");
    return 1;
  }
  std::printf("download of %lld bytes in %lld pieces, %d at once, over loopback HTTP\n",
              static_cast<long long>(item.bytes),
              static_cast<long long>(ModelStore::pieces(item, target).size()), ModelStore::piecesAtOnce);
  std::printf("  pieces:        %6.2f s  %7.0f MB/s\n", seconds(piecesDone - started),
              megabytesPerSecond(item.bytes, piecesDone - started));
  std::printf("  join and hash: %6.2f s  %7.0f MB/s (including the flush to disk)\n",
              seconds(finished - piecesDone), megabytesPerSecond(item.bytes, finished - piecesDone));
  std::printf("  whole:         %6.2f s  %7.0f MB/s\n", seconds(finished - started),
              megabytesPerSecond(item.bytes, finished - started));
  fs::remove_all(target);
  return 0;
}

int join(const fs::path& work) {
  const auto item = servedItem(work, "http://127.0.0.1:1/model.bin");  // never contacted
  const fs::path target = work / "target";
  fs::remove_all(target);
  fs::create_directories(target / ".parts");
  // Lay the pieces out as an interrupted download leaves them, so only the
  // join runs.
  const int in = ::open(served(work).c_str(), O_RDONLY);
  for (const auto& piece : ModelStore::pieces(item, target / ".parts")) {
    const int out = ::open(piece.file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    loff_t from = piece.start;
    for (std::int64_t left = piece.length; left > 0;) {
      const ssize_t copied = ::copy_file_range(in, &from, out, nullptr, static_cast<size_t>(left), 0);
      if (copied <= 0) return 1;
      left -= copied;
    }
    ::close(out);
  }
  ::close(in);
  ::sync();  // the pieces' own write-back must not be counted in the join's flush

  const double cpuBefore = cpuSeconds();
  const auto started = Clock::now();
  const bool ok = ModelStore::download({item}, target, nullptr, nullptr, ModelStore::DownloadSettings{});
  const auto took = Clock::now() - started;
  const double cpu = cpuSeconds() - cpuBefore;
  if (!ok) {
    std::fprintf(stderr, "the join failed\n");
    return 1;
  }
  std::printf("join and hash alone: %lld bytes in %.2f s, %.0f MB/s (including the flush to disk);"
              " %.2f s of processor time, %.0f MB per processor-second\n",
              static_cast<long long>(item.bytes), seconds(took), megabytesPerSecond(item.bytes, took),
              cpu, item.bytes / 1e6 / cpu);
  fs::remove_all(target);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "prepare") == 0) return prepare(argv[2], std::atoll(argv[3]));
  if (argc >= 3 && std::strcmp(argv[1], "download") == 0) return download(argv[2]);
  if (argc >= 3 && std::strcmp(argv[1], "join") == 0) return join(argv[2]);
  std::fprintf(stderr, "usage: quorvel-download-bench prepare WORK BYTES | download WORK | join WORK\n");
  return 2;
}
