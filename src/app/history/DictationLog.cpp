// Writes and reads the dictation history, and keeps recordings as WAV files.
#include "app/history/DictationLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "audio/Wav.h"
#include "engine/Config.h"
#include "support/Files.h"
#include "support/Settings.h"
#include "support/Uuid.h"

namespace quorvel {

namespace {

using Clock = std::chrono::system_clock;

// Closes a descriptor on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

int digits(const std::string& text, size_t at, size_t count) {
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

std::string localStamp(Clock::time_point time) {
  const std::time_t seconds = Clock::to_time_t(time);
  std::tm local{};
  if (!::localtime_r(&seconds, &local)) return "0000-00-00_00-00-00";
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d_%H-%M-%S", &local);
  return buffer;
}

std::int64_t integerOrZero(const Json& object, std::string_view key) {
  return integerMember(object, key).value_or(0);
}

}  // namespace

fs::path dictationLogFile() { return Config::logs() / "dictations.jsonl"; }

std::string iso8601(Clock::time_point time) {
  const std::time_t seconds = Clock::to_time_t(time);
  std::tm utc{};
  if (!::gmtime_r(&seconds, &utc)) return "1970-01-01T00:00:00Z";
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buffer;
}

std::optional<Clock::time_point> parseIso8601(const std::string& text) {
  // yyyy-MM-ddTHH:mm:ss, then the zone.
  if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
      text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
  const int hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
  if (year < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                         std::chrono::day(day)};
  if (!date.ok()) return std::nullopt;

  int offsetMinutes = 0;
  const std::string zone = text.substr(19);
  if (zone != "Z") {
    int hours = -1, minutes = -1;
    if (zone.size() == 6 && zone[3] == ':') {
      hours = digits(zone, 1, 2);
      minutes = digits(zone, 4, 2);
    } else if (zone.size() == 5) {
      hours = digits(zone, 1, 2);
      minutes = digits(zone, 3, 2);
    }
    if ((zone[0] != '+' && zone[0] != '-') || hours < 0 || hours > 23 || minutes < 0 ||
        minutes > 59) {
      return std::nullopt;
    }
    offsetMinutes = (zone[0] == '+' ? 1 : -1) * (hours * 60 + minutes);
  }
  const auto local = std::chrono::sys_days(date) + std::chrono::hours(hour) +
                     std::chrono::minutes(minute) + std::chrono::seconds(second);
  return Clock::time_point(local - std::chrono::minutes(offsetMinutes));
}

Json dictationLine(const DictationResult& result, const DictationFacts& facts,
                   Clock::time_point time) {
  // A length that is not a number would make the line unreadable JSON (null).
  const double audio = std::isfinite(facts.audioSeconds) ? std::round(facts.audioSeconds * 10) / 10 : 0.0;
  Json line = Json::object();
  line["time"] = iso8601(time);
  line["audio_s"] = audio;
  line["after_release_ms"] = result.speechMs + result.cleanupMs;
  line["speech_ms"] = result.speechMs;
  line["cleanup_ms"] = result.cleanupMs;
  line["chunks"] = result.chunks;
  line["path"] = result.path;
  line["cleanup_model"] = result.model;
  line["raw"] = result.raw;
  line["final"] = result.final;
  if (facts.recording) line["recording"] = *facts.recording;
  if (facts.wokeModel) line["woke_model"] = true;
  if (result.warmed) line["warmed"] = true;
  if (result.aheadPieces > 0) line["ahead_pieces"] = result.aheadPieces;
  if (result.timings) line["engine"] = result.timings->dict();
  if (facts.modelIdle && std::isfinite(*facts.modelIdle) && std::abs(*facts.modelIdle) < 9e15) {
    line["model_idle_s"] = static_cast<std::int64_t>(std::llround(*facts.modelIdle));
  }
  line["speech_engine"] = facts.neuralEngine ? "neural engine" : "graphics chip";
  if (facts.error) line["error"] = *facts.error;
  return line;
}

Status appendLine(const fs::path& file, const std::string& line) {
  const Descriptor fd(::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (fd.get() < 0) return Error{"cannot open " + file.string() + ": " + std::strerror(errno)};
  // Without the lock the single O_APPEND write still keeps short lines whole.
  const FileLock lock(fd.get(), FileLock::Wait::untilFree);

  std::string data;
  struct stat info {};
  const bool sized = ::fstat(fd.get(), &info) == 0;
  if (sized && info.st_size > 0) {
    // A writer that died mid-line left no line feed: start on a fresh line.
    const Descriptor reader(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    char last = '\n';
    if (reader.get() >= 0 && ::pread(reader.get(), &last, 1, info.st_size - 1) == 1 && last != '\n') {
      data += '\n';
    }
  }
  data += line;
  data += '\n';
  if (!writeAll(fd.get(), data)) {
    const std::string reason = std::strerror(errno);
    // A line cut short by a full disk is taken back, so the file keeps whole
    // lines only and the line can be written again later.
    if (sized) (void)::ftruncate(fd.get(), info.st_size);
    return Error{"cannot append to " + file.string() + ": " + reason};
  }
  return success();
}

HistoryWriter::HistoryWriter(std::function<fs::path()> file) : file_(std::move(file)) {}

Status HistoryWriter::append(std::string line) {
  std::scoped_lock lock(mutex_);
  waiting_.push_back(std::move(line));
  const fs::path file = file_();
  createFolders(file.parent_path());
  while (!waiting_.empty()) {
    if (Status written = appendLine(file, waiting_.front()); !written) return written;
    waiting_.pop_front();
  }
  return success();
}

std::size_t HistoryWriter::waiting() const {
  std::scoped_lock lock(mutex_);
  return waiting_.size();
}

Status logDictation(const DictationResult& result, const DictationFacts& facts) {
  const fs::path file = dictationLogFile();
  createFolders(file.parent_path());
  return appendLine(file, compactJson(dictationLine(result, facts, Clock::now())));
}

std::optional<std::string> saveRecordingIn(const fs::path& folder, SampleSpan samples,
                                           Clock::time_point time, const std::string& suffix) {
  createFolders(folder);  // a failure shows up when the file is written
  const std::string stamp = localStamp(time) + suffix;
  // Written whole under a temporary name, then linked to the first free name:
  // link() never replaces an existing file, so two savers in the same second
  // both keep their recordings.
  const fs::path temporary = folder / ("." + stamp + "." + randomUuid() + ".tmp");
  if (!writeFileAtomically(temporary, wavData(samples))) return std::nullopt;
  std::optional<std::string> saved;
  for (int n = 1; n <= 1000 && !saved; ++n) {
    const std::string name = stamp + (n == 1 ? "" : "-" + std::to_string(n)) + ".wav";
    if (::link(temporary.c_str(), (folder / name).c_str()) == 0) {
      saved = name;
    } else if (errno != EEXIST) {
      break;
    }
  }
  ::unlink(temporary.c_str());
  return saved;
}

fs::path recordingsFolder() { return Config::root() / "recordings"; }

std::optional<std::string> saveRecording(SampleSpan samples) {
  if (!Settings::saveAudio.read()) return std::nullopt;
  return saveRecordingIn(recordingsFolder(), samples, Clock::now());
}

namespace {
constexpr std::string_view kFailedSuffix = "-failed";
}  // namespace

std::optional<std::string> saveFailedRecording(SampleSpan samples) {
  const fs::path folder = recordingsFolder();
  removeOldFailedRecordings(folder, Clock::now());
  return saveRecordingIn(folder, samples, Clock::now(), std::string(kFailedSuffix));
}

void removeOldFailedRecordings(const fs::path& folder, Clock::time_point now, std::chrono::hours age) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) return;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) return;
    const std::string name = it->path().filename().string();
    // "…-failed.wav", or "…-failed-2.wav" for a second one in the same second.
    if (!name.ends_with(".wav") || name.find(kFailedSuffix) == std::string::npos) continue;
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (now - Clock::from_time_t(info.st_mtime) > age) ::unlink(it->path().c_str());
  }
}

std::vector<DictationEntry> entriesFromText(const std::string& text) {
  std::vector<DictationEntry> entries;
  std::int64_t index = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    const std::int64_t id = index++;
    const auto object = parseJson(line);
    if (!object || !object->is_object()) continue;
    const auto time = stringMember(*object, "time");
    const auto date = time ? parseIso8601(*time) : std::nullopt;
    if (!date) continue;
    DictationEntry entry;
    entry.id = id;
    entry.date = *date;
    entry.raw = stringMember(*object, "raw").value_or("");
    entry.text = stringMember(*object, "final").value_or("");
    const auto audio = object->find("audio_s");
    if (audio != object->end() && audio->is_number()) entry.audio = audio->get<double>();
    entry.waitMs = integerOrZero(*object, "after_release_ms");
    entry.speechMs = integerOrZero(*object, "speech_ms");
    entry.cleanupMs = integerOrZero(*object, "cleanup_ms");
    entry.path = stringMember(*object, "path").value_or("");
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<DictationEntry> loadEntries(const fs::path& file) {
  const auto text = readWholeFile(file);
  return text ? entriesFromText(*text) : std::vector<DictationEntry>{};
}

std::vector<DictationEntry> loadEntries() { return loadEntries(dictationLogFile()); }

}  // namespace quorvel
