// The microphone through the PulseAudio client API (PipeWire's pulse server
// serves it too): a record stream on the chosen source, or the default one
// while none is chosen or the chosen one is not connected, at 16 kHz mono
// S16LE, the sound server doing any resampling, on the client library's own
// thread. Source and server events report configuration changes, so a source
// plugged in or out is followed at the next recording.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
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
  // preferred: a source's name ("" for the default).
  explicit MicPulse(Waits waits, std::string preferred = {});
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

  // Makes a fresh MicPulse per capture (the recorder's rebuild); preferred
  // answers the chosen source's name at each rebuild ("" for the default).
  static AudioSourceFactory factory();
  static AudioSourceFactory factory(Waits waits, std::function<std::string()> preferred = nullptr);

  // The source recorded from ("" for the server's default); set by inputFormat().
  std::string sourceInUse() const;

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
  const std::string preferred_;
  std::string source_;  // guarded by the main loop's lock
  pa_threaded_mainloop* loop_ = nullptr;
  // Guarded by the main loop's lock (callbacks run holding it).
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  BufferHandler handler_;
  std::function<void()> onChange_;
  std::vector<std::int16_t> scratch_;  // aligned copy of each fragment
};

}  // namespace quorvel
