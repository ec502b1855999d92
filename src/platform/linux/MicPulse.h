// The default microphone through the PulseAudio client API (PipeWire's pulse
// server serves it too): a record stream on the default source at 16 kHz
// mono S16LE, the sound server doing any resampling, on the client library's
// own thread. Source and server events report configuration changes.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "audio/AudioSource.h"

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

namespace quorvel {

class MicPulse : public AudioSource {
 public:
  struct Waits {
    std::chrono::milliseconds connect{3000};  // reaching the sound server
    std::chrono::milliseconds query{2000};    // asking it about the default source
    std::chrono::milliseconds stream{3000};   // the record stream becoming ready
  };

  MicPulse();
  explicit MicPulse(Waits waits);
  ~MicPulse() override;
  MicPulse(const MicPulse&) = delete;
  MicPulse& operator=(const MicPulse&) = delete;

  // 16 kHz mono Int16 when the server has a default source; sample rate 0
  // when there is no server or no source. Connects on first use.
  AudioFormat inputFormat() override;
  // REQUIRES: format is what inputFormat() answered.
  Status start(const AudioFormat& format, BufferHandler onBuffer) override;
  void stop() override;
  void setOnConfigurationChange(std::function<void()> onChange) override;

  // Makes a fresh MicPulse per capture (the recorder's rebuild).
  static AudioSourceFactory factory();
  static AudioSourceFactory factory(Waits waits);

 private:
  // All REQUIRE the main loop's lock.
  bool connectLocked();
  void stopLocked();
  template <class Done>
  bool waitLocked(std::chrono::milliseconds limit, Done done);

  // Run on the main loop's thread, holding its lock.
  void readFragments(pa_stream* stream);
  void notifyChange();

  const Waits waits_;
  pa_threaded_mainloop* loop_ = nullptr;
  // Guarded by the main loop's lock (callbacks run holding it).
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  BufferHandler handler_;
  std::function<void()> onChange_;
  std::vector<std::int16_t> scratch_;  // aligned copy of each fragment
};

}  // namespace quorvel
