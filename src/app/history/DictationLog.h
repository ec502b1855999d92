// The dictation history ("dictations.jsonl" in the logs folder: one JSON object
// per line, only ever appended) and the recordings kept as WAV files.
//
// Threading: every function may be called from any thread, and from several
// processes at once. Appends take an advisory lock on the history file and
// write each line whole, so concurrent writers never interleave their lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "audio/Samples.h"
#include "engine/DictationResult.h"
#include "support/Files.h"
#include "support/Json.h"
#include "support/Result.h"

namespace quorvel {

// What the caller knows about a dictation besides the engine's result.
struct DictationFacts {
  double audioSeconds = 0;                 // length of the recording
  std::optional<std::string> recording;    // file name of the kept WAV, if kept
  bool wokeModel = false;                  // the press had to wake an idle model
  std::optional<double> modelIdle;         // seconds the model had been idle at the press
  bool neuralEngine = false;               // speech ran on the Neural Engine copy
  std::optional<std::string> error;        // why its words could not be had
};

// One history line as the dashboard reads it back. A missing or ill-typed
// member reads as "" or 0.
struct DictationEntry {
  std::int64_t id = 0;  // index among the file's non-empty lines, from 0
  std::chrono::system_clock::time_point date;
  std::string raw;
  std::string text;  // "final"
  double audio = 0;  // "audio_s"
  std::int64_t waitMs = 0;     // "after_release_ms"
  std::int64_t speechMs = 0;   // "speech_ms"
  std::int64_t cleanupMs = 0;  // "cleanup_ms"
  std::string path;
};

// The history file: Config::logs() / "dictations.jsonl".
fs::path dictationLogFile();

// "2026-03-01T09:15:02Z": UTC, whole seconds.
std::string iso8601(std::chrono::system_clock::time_point time);
// Accepts "yyyy-MM-ddTHH:mm:ss" followed by "Z", "±HH:MM" or "±HHMM";
// nothing for any other text or an impossible date.
std::optional<std::chrono::system_clock::time_point> parseIso8601(const std::string& text);

// The history line's object for a dictation logged at `time`. Optional
// members appear only when they carry something (see the file's format).
Json dictationLine(const DictationResult& result, const DictationFacts& facts,
                   std::chrono::system_clock::time_point time);

// Appends the line of the dictation, logged now, to the history file (the
// logs folder is created when missing).
Status logDictation(const DictationResult& result, const DictationFacts& facts);

// The history as the application writes it: a line that can't be written (a
// full disk, a folder that can't be written) waits in memory, and the lines
// waiting go out first, in their order, at the next write that works. Lines
// still waiting when the process ends are lost; nothing else is.
//
// Threading: any thread; appends are serialised.
class HistoryWriter {
 public:
  // file: where the history is, asked at each write (tests point it elsewhere).
  explicit HistoryWriter(std::function<fs::path()> file = dictationLogFile);
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;

  // Queues the line after those waiting and writes as many as it can; the
  // first failure, when one stops it.
  Status append(std::string line);
  std::size_t waiting() const;

 private:
  const std::function<fs::path()> file_;
  mutable std::mutex mutex_;
  std::deque<std::string> waiting_;  // guarded by mutex_
};

// Appends one line (a line feed is added) to `file`, creating it when missing.
// The line is written with one write under O_APPEND while holding an advisory
// lock; if an earlier writer died mid-line, a line feed goes first so the new
// line stays whole and the broken one stays on its own line.
Status appendLine(const fs::path& file, const std::string& line);

// Keeps the recording when the user default "saveAudio" is true: a 16 kHz
// WAV in Config::root() / "recordings", named by the local time of saving
// ("2026-03-01_09-15-02.wav"). A name already taken within the same second
// gets "-2", "-3", … before ".wav". Returns the file name written, or nothing
// (not enabled, or the file could not be written).
std::optional<std::string> saveRecording(SampleSpan samples);
// The same into a given folder at a given time, whatever the setting.
std::optional<std::string> saveRecordingIn(const fs::path& folder, SampleSpan samples,
                                           std::chrono::system_clock::time_point time,
                                           const std::string& suffix = "");

// Keeps a recording whose words could not be had, whatever "saveAudio" says:
// like saveRecording, named "…-failed.wav", and removed after a week by
// removeOldFailedRecordings. Returns the file name written, or nothing.
std::optional<std::string> saveFailedRecording(SampleSpan samples);
// Removes from `folder` the kept failed recordings older than `age`, by
// their modification time; every other file stays.
void removeOldFailedRecordings(const fs::path& folder, std::chrono::system_clock::time_point now,
                               std::chrono::hours age = std::chrono::hours(24 * 7));
// The folder of kept recordings: Config::root() / "recordings".
fs::path recordingsFolder();

// Reads the history file back, oldest first. Lines that are not JSON objects
// or whose "time" does not parse are skipped but still use up their index.
std::vector<DictationEntry> loadEntries();
std::vector<DictationEntry> loadEntries(const fs::path& file);
// The same from the file's text.
std::vector<DictationEntry> entriesFromText(const std::string& text);

}  // namespace quorvel
