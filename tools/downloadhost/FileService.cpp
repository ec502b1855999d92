// Serving files with ranges and faults.
#include "FileService.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <memory>
#include <vector>

namespace quorvel::downloadhost {
namespace {

std::optional<std::int64_t> digits(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  const auto [at, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || at != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// An open file shared by the body provider and its releaser.
struct OpenFile {
  int fd = -1;
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::optional<ByteRange> parseRange(const std::string& header, std::int64_t size) {
  std::string_view text(header);
  if (!text.starts_with("bytes=")) return std::nullopt;
  text.remove_prefix(6);
  if (text.find(',') != std::string_view::npos) return std::nullopt;
  const auto dash = text.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const auto first = text.substr(0, dash);
  const auto last = text.substr(dash + 1);
  if (first.empty()) {  // "-N": the last N bytes
    const auto count = digits(last);
    if (!count || *count == 0 || size == 0) return std::nullopt;
    const std::int64_t length = std::min(*count, size);
    return ByteRange{size - length, length};
  }
  const auto start = digits(first);
  if (!start || *start >= size) return std::nullopt;
  std::int64_t end = size - 1;
  if (!last.empty()) {
    const auto given = digits(last);
    if (!given || *given < *start) return std::nullopt;
    end = std::min(*given, size - 1);
  }
  return ByteRange{*start, end - *start + 1};
}

FileService::FileService(const HostOptions& options, const standin::StopFlag& stop)
    : options_(options), stop_(stop) {
  if (options.logFile) log_.open(*options.logFile, std::ios::app);
}

std::optional<fs::path> FileService::resolve(const std::string& urlPath) const {
  if (!urlPath.starts_with("/")) return std::nullopt;
  const fs::path relative = fs::path(urlPath).relative_path();
  for (const auto& part : relative) {
    if (part == ".." || part == ".") return std::nullopt;
  }
  const fs::path file = options_.root / relative;
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return std::nullopt;
  return file;
}

int FileService::countTry(const std::string& key) {
  std::scoped_lock lock(mutex_);
  return ++tries_[key];
}

void FileService::log(const std::string& line) {
  std::scoped_lock lock(mutex_);
  if (log_.is_open()) {
    log_ << line << '\n';
    log_.flush();
  }
}

void FileService::handle(const httplib::Request& request, httplib::Response& response) {
  const int active = ++active_;
  const Faults faults = currentFaults(options_);
  const std::string rangeHeader = request.get_header_value("Range");
  const bool ranged = request.has_header("Range");
  // Ranges are answered here. Clearing the library's parsed copy stops it from
  // cutting the body a second time (the request object is not const inside the
  // server; only the handler's view of it is).
  const_cast<httplib::Request&>(request).ranges.clear();

  std::string path = request.path;
  auto finish = [&](int status, std::int64_t bytes, bool streaming) {
    response.status = status;
    log(request.method + " " + request.path + " range=" + (ranged ? rangeHeader : "-") +
        " status=" + std::to_string(status) + " bytes=" + std::to_string(bytes) +
        " active=" + std::to_string(active));
    if (!streaming) --active_;
  };

  if (faults.redirect == "loop") {
    response.set_header("Location", request.path);
    return finish(302, 0, false);
  }
  if (faults.redirect == "plain") {
    response.set_header("Location", "http://" + request.get_header_value("Host") + request.path);
    return finish(302, 0, false);
  }
  if (faults.redirect == "moved") {
    if (!path.starts_with("/moved/")) {
      response.set_header("Location", "/moved" + path);
      return finish(302, 0, false);
    }
    path = path.substr(6);
  }

  const auto file = resolve(path);
  if (!file) {
    response.set_content("no such file\n", "text/plain");
    return finish(404, 0, false);
  }
  const bool touched = (faults.scope == Faults::Scope::all ||
                        (faults.scope == Faults::Scope::ranged) == ranged) &&
                       (faults.only.empty() || file->filename() == faults.only);

  if (touched && faults.failFirst > 0 &&
      countTry(path + "|" + rangeHeader) <= faults.failFirst) {
    response.set_content("try again later\n", "text/plain");
    return finish(500, 0, false);
  }

  auto open = std::make_shared<OpenFile>();
  open->fd = ::open(file->c_str(), O_RDONLY | O_CLOEXEC);
  std::error_code error;
  const auto size = static_cast<std::int64_t>(fs::file_size(*file, error));
  if (open->fd < 0 || error) {
    response.set_content("can't read the file\n", "text/plain");
    return finish(500, 0, false);
  }

  ByteRange range{0, size};
  int status = 200;
  if (ranged && !(touched && faults.ignoreRanges)) {
    const auto asked = parseRange(rangeHeader, size);
    if (!asked) {
      response.set_header("Content-Range", "bytes */" + std::to_string(size));
      return finish(416, 0, false);
    }
    range = *asked;
    // Names (and sends) the same number of bytes, one further on when it can.
    if (touched && faults.wrongRange && range.start + range.length < size) ++range.start;
    status = 206;
    const std::int64_t namedEnd = range.start + range.length - 1 + (touched && faults.wrongRangeEnd ? 1 : 0);
    response.set_header("Content-Range", "bytes " + std::to_string(range.start) + "-" +
                                             std::to_string(namedEnd) + "/" + std::to_string(size));
  }

  // What the length header promises, and what is really sent.
  std::int64_t promised = range.length;
  if (touched) promised = std::max<std::int64_t>(promised + faults.extra - faults.truncate, 0);
  const std::int64_t sent =
      touched ? std::max<std::int64_t>(promised - faults.shortBy, 0) : promised;
  const std::int64_t stallAt = touched && faults.stallMs > 0 ? sent / 2 : -1;
  const std::int64_t corruptAt = touched && faults.corrupt ? size / 2 : -1;
  const int stallMs = faults.stallMs;

  finish(status, sent, true);
  // The answer stops counting as active just before its last bytes go out, so
  // a client that starts its next request on receiving them never sees it
  // counted twice.
  auto counted = std::make_shared<std::atomic<bool>>(true);
  const auto release = [this, counted] {
    if (counted->exchange(false)) --active_;
  };
  response.set_content_provider(
      static_cast<std::size_t>(promised), "application/octet-stream",
      [this, open, range, sent, stallAt, corruptAt, stallMs, release, stalled = false](
          std::size_t offset, std::size_t, httplib::DataSink& sink) mutable {
        const auto at = static_cast<std::int64_t>(offset);
        if (at >= sent || stop_.raised()) return false;  // cut short: the connection closes
        if (!stalled && stallAt >= 0 && at >= stallAt) {
          stalled = true;
          stop_.sleepFor(std::chrono::milliseconds(stallMs));
          if (stop_.raised()) return false;
        }
        std::int64_t count = std::min<std::int64_t>(64 * 1024, sent - at);
        if (!stalled && stallAt > at) count = std::min(count, stallAt - at);
        std::vector<char> buffer(static_cast<std::size_t>(count), 'X');  // beyond the range: filler
        const std::int64_t fileOffset = range.start + at;
        const std::int64_t fromFile =
            std::clamp<std::int64_t>(range.start + range.length - fileOffset, 0, count);
        if (fromFile > 0) {
          const ssize_t got = ::pread(open->fd, buffer.data(), static_cast<std::size_t>(fromFile),
                                      static_cast<off_t>(fileOffset));
          if (got != fromFile) return false;
        }
        if (corruptAt >= fileOffset && corruptAt < fileOffset + fromFile) {
          buffer[static_cast<std::size_t>(corruptAt - fileOffset)] ^= 0x01;
        }
        if (at + count >= sent) release();
        return sink.write(buffer.data(), buffer.size());
      },
      [release](bool) { release(); });
}

}  // namespace quorvel::downloadhost
