// PulseAudio capture of the chosen (or default) source for the recorder.
#include "platform/linux/MicPulse.h"

#include <pulse/pulseaudio.h>

#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "support/Log.h"

namespace quorvel {

namespace {

using Clock = std::chrono::steady_clock;

constexpr pa_sample_spec kSpec{PA_SAMPLE_S16LE, 16000, 1};
constexpr std::uint32_t kFragmentBytes = 2048 * 2;  // 128 ms

// Holds the main loop's lock for a scope.
class LoopLock {
 public:
  explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) {
    if (loop_) pa_threaded_mainloop_lock(loop_);
  }
  ~LoopLock() {
    if (loop_) pa_threaded_mainloop_unlock(loop_);
  }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

std::string errorText(pa_context* context) {
  return context ? pa_strerror(pa_context_errno(context)) : "no sound server";
}

}  // namespace

MicPulse::MicPulse() : MicPulse(Waits{}) {}

MicPulse::MicPulse(Waits waits, std::string preferred) : waits_(waits), preferred_(std::move(preferred)) {
  loop_ = pa_threaded_mainloop_new();
  if (loop_ && pa_threaded_mainloop_start(loop_) < 0) {
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
  }
  if (!loop_) logLine("Quorvel: could not start the sound client's thread; no microphone");
}

MicPulse::~MicPulse() {
  if (!loop_) return;
  {
    LoopLock lock(loop_);
    stopLocked();
    if (context_) {
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_set_subscribe_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
      pa_context_unref(context_);
      context_ = nullptr;
    }
  }
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

AudioSourceFactory MicPulse::factory() { return factory(Waits{}); }

AudioSourceFactory MicPulse::factory(Waits waits, std::function<std::string()> preferred) {
  return [waits, preferred]() -> std::unique_ptr<AudioSource> {
    return std::make_unique<MicPulse>(waits, preferred ? preferred() : std::string());
  };
}

std::string MicPulse::sourceInUse() const {
  if (!loop_) return {};
  LoopLock lock(loop_);
  return source_;
}

// Polls `done` with the lock released between looks, so the main loop can
// run the callbacks that make it true. Whether it became true in time.
template <class Done>
bool MicPulse::waitLocked(std::chrono::milliseconds limit, Done done) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    pa_threaded_mainloop_unlock(loop_);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    pa_threaded_mainloop_lock(loop_);
  }
  return true;
}

bool MicPulse::connectLocked() {
  if (context_) {
    const pa_context_state_t state = pa_context_get_state(context_);
    if (state == PA_CONTEXT_READY) return true;
    if (PA_CONTEXT_IS_GOOD(state)) {
      return waitLocked(waits_.connect, [&] { return pa_context_get_state(context_) == PA_CONTEXT_READY; });
    }
    // A context that failed stays failed; this source is done (the recorder
    // rebuilds with a fresh one).
    return false;
  }
  context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Quorvel");
  if (!context_) return false;
  pa_context_set_state_callback(
      context_,
      [](pa_context* context, void* self) {
        const pa_context_state_t state = pa_context_get_state(context);
        // Losing the server is a change of configuration: the next start rebuilds.
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
          static_cast<MicPulse*>(self)->notifyChange();
        }
      },
      this);
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    logLine("Quorvel: no sound server for the microphone: " + errorText(context_));
    return false;
  }
  const bool ready = waitLocked(waits_.connect, [&] {
    const pa_context_state_t state = pa_context_get_state(context_);
    return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
  });
  if (!ready || pa_context_get_state(context_) != PA_CONTEXT_READY) {
    logLine("Quorvel: no sound server for the microphone: " +
            (ready ? errorText(context_) : std::string("no answer in time")));
    return false;
  }
  pa_context_set_subscribe_callback(
      context_,
      [](pa_context*, pa_subscription_event_type_t type, std::uint32_t, void* self) {
        const unsigned facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        const unsigned kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        // A new default (server change) or a source coming or going; volume
        // and other source changes are not a new configuration.
        if (facility == PA_SUBSCRIPTION_EVENT_SERVER ||
            (facility == PA_SUBSCRIPTION_EVENT_SOURCE && kind != PA_SUBSCRIPTION_EVENT_CHANGE)) {
          static_cast<MicPulse*>(self)->notifyChange();
        }
      },
      this);
  if (pa_operation* op = pa_context_subscribe(
          context_, static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER),
          nullptr, nullptr)) {
    pa_operation_unref(op);
  }
  return true;
}

AudioFormat MicPulse::inputFormat() {
  if (!loop_) return {0, 1, SampleType::int16};
  LoopLock lock(loop_);
  if (!connectLocked()) return {0, 1, SampleType::int16};

  struct Query {
    bool done = false;
    std::string defaultSource;
    bool sourceExists = false;
  } query;
  pa_operation* info = pa_context_get_server_info(
      context_,
      [](pa_context*, const pa_server_info* server, void* data) {
        auto* q = static_cast<Query*>(data);
        if (server && server->default_source_name) q->defaultSource = server->default_source_name;
        q->done = true;
      },
      &query);
  if (!info) return {0, 1, SampleType::int16};
  const bool answered = waitLocked(waits_.query, [&] { return query.done; });
  if (!answered) pa_operation_cancel(info);
  pa_operation_unref(info);
  if (!answered) return {0, 1, SampleType::int16};

  // Whether a source of that name is there now; nothing when no answer came.
  const auto present = [&](const std::string& name) -> std::optional<bool> {
    query.done = false;
    query.sourceExists = false;
    pa_operation* source = pa_context_get_source_info_by_name(
        context_, name.c_str(),
        [](pa_context*, const pa_source_info* found, int last, void* data) {
          auto* q = static_cast<Query*>(data);
          if (found) q->sourceExists = true;
          if (last != 0) q->done = true;
        },
        &query);
    if (!source) return std::nullopt;
    const bool listed = waitLocked(waits_.query, [&] { return query.done; });
    if (!listed) pa_operation_cancel(source);
    pa_operation_unref(source);
    if (!listed) return std::nullopt;
    return query.sourceExists;
  };
  source_.clear();
  if (!preferred_.empty()) {
    if (present(preferred_).value_or(false)) {
      source_ = preferred_;
      return {kSpec.rate, kSpec.channels, SampleType::int16};
    }
    logLine("Quorvel: the chosen microphone (" + preferred_ + ") is not connected; recording from the default one");
  }
  if (query.defaultSource.empty() || !present(query.defaultSource).value_or(false)) {
    return {0, 1, SampleType::int16};
  }
  return {kSpec.rate, kSpec.channels, SampleType::int16};
}

Status MicPulse::start(const AudioFormat& format, BufferHandler onBuffer) {
  if (format != AudioFormat{kSpec.rate, kSpec.channels, SampleType::int16}) {
    return Error{"The microphone cannot record in that format"};
  }
  if (!loop_) return Error{"No microphone available"};
  LoopLock lock(loop_);
  stopLocked();
  if (!connectLocked()) return Error{"No microphone available"};
  stream_ = pa_stream_new(context_, "Dictation", &kSpec, nullptr);
  if (!stream_) return Error{"Could not open the microphone: " + errorText(context_)};
  handler_ = std::move(onBuffer);
  pa_stream_set_read_callback(
      stream_, [](pa_stream* stream, std::size_t, void* self) { static_cast<MicPulse*>(self)->readFragments(stream); },
      this);
  pa_buffer_attr attributes;
  std::memset(&attributes, 0xff, sizeof attributes);  // server defaults (-1) …
  attributes.fragsize = kFragmentBytes;                // … except the fragment size
  const char* device = source_.empty() ? nullptr : source_.c_str();
  if (pa_stream_connect_record(stream_, device, &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
    const std::string why = errorText(context_);
    stopLocked();
    return Error{"Could not start the microphone: " + why};
  }
  const bool settled = waitLocked(waits_.stream, [&] {
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
  });
  if (!settled || pa_stream_get_state(stream_) != PA_STREAM_READY) {
    const std::string why = settled ? errorText(context_) : std::string("no answer in time");
    stopLocked();
    return Error{"Could not start the microphone: " + why};
  }
  return success();
}

void MicPulse::stop() {
  if (!loop_) return;
  LoopLock lock(loop_);
  stopLocked();
}

void MicPulse::stopLocked() {
  if (stream_) {
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
  }
  handler_ = nullptr;
}

void MicPulse::setOnConfigurationChange(std::function<void()> onChange) {
  if (!loop_) {
    onChange_ = std::move(onChange);
    return;
  }
  LoopLock lock(loop_);
  onChange_ = std::move(onChange);
}

void MicPulse::notifyChange() {
  if (onChange_) onChange_();
}

void MicPulse::readFragments(pa_stream* stream) {
  // Bounded: each round drops one fragment of what the server had ready.
  for (int round = 0; round < 1024 && pa_stream_readable_size(stream) > 0; ++round) {
    const void* data = nullptr;
    std::size_t bytes = 0;
    if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
    if (data && handler_) {
      // Copied so the samples are aligned; an odd last byte cannot be a sample.
      scratch_.resize(bytes / 2);
      std::memcpy(scratch_.data(), data, scratch_.size() * 2);
      handler_(AudioBuffer{scratch_, {}});
    }
    pa_stream_drop(stream);  // a hole (no data) is dropped as well
  }
}

}  // namespace quorvel
