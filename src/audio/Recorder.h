// Records the default input while the dictation key is held, as 16 kHz mono
// Int16 samples, with a running loudness for the level meter. One recorder
// lives for the application's life.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "audio/AudioSource.h"
#include "audio/SampleConverter.h"
#include "audio/Samples.h"
#include "support/Result.h"

namespace quorvel {

// Threading: start() and stop() are called from one thread at a time (the
// shell's main thread); snapshot(), level() and needsReset() from any thread.
// Buffers are converted and appended on the source's capture thread.
class Recorder {
 public:
  // `makeSource` builds the capture; it is called now and again at every
  // rebuild. It may return null (no capture possible: start then fails).
  explicit Recorder(AudioSourceFactory makeSource);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Begins a new recording: rebuilds the capture first when the input
  // configuration changed, then starts it; a failed start is retried once on
  // a fresh capture. "No microphone available" when there is no input
  // device. On success the samples are empty and the level is 0.
  Status start();

  // A copy of everything recorded since the last start; recording goes on.
  Samples snapshot() const;
  // The samples from index `from` on (none when there are not that many):
  // what a caller that already handed out the start needs, without copying it.
  Samples snapshot(std::size_t from) const;
  // How many samples the recording has so far.
  std::size_t sampleCount() const;

  // Ends the capture and returns all the samples, which stay readable by
  // snapshot() until the next start.
  Samples stop();

  // Loudness of the most recent buffer, 0 … 1 (an rms of 1500 or more is 1).
  float level() const;

  // Whether the next start rebuilds the capture. Set by the source's
  // configuration-change notice; a running recording is never interrupted.
  bool needsReset() const { return needsReset_->load(); }
  // Makes the next start rebuild the capture (the user chose another input).
  void reset() { needsReset_->store(true); }

  // The level rule: min(1, sqrt(rms / 1500)), 0 for no samples.
  static float levelOf(SampleSpan samples);

 private:
  void resetEngine();
  Status startEngine();
  void append(const AudioBuffer& buffer);  // capture thread
  void adopt(std::unique_ptr<AudioSource> source);

  const AudioSourceFactory makeSource_;
  // Shared with the sources' notice callbacks, which may outlive a rebuild.
  const std::shared_ptr<std::atomic<bool>> needsReset_ = std::make_shared<std::atomic<bool>>(false);

  mutable std::mutex mutex_;
  Samples samples_;          // guarded by mutex_
  float currentLevel_ = 0;  // guarded by mutex_

  // Used by the capture thread while a capture runs; replaced only in
  // startEngine(), while none runs.
  std::unique_ptr<SampleConverter> converter_;
  // Declared last so it is destroyed first: its thread ends before the rest.
  std::unique_ptr<AudioSource> source_;
};

}  // namespace quorvel
