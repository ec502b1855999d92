// Listing the sound server's input sources.
#include "platform/linux/MicSourcesPulse.h"

#include <pulse/pulseaudio.h>

#include <memory>

namespace quorvel {
namespace {

struct LoopFree {
  void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};
struct ContextFree {
  void operator()(pa_context* context) const {
    pa_context_disconnect(context);
    pa_context_unref(context);
  }
};

struct Listing {
  std::vector<MicSource> sources;
  bool done = false;
};

}  // namespace

std::optional<std::vector<MicSource>> listMicSources(std::chrono::milliseconds limit) {
  std::unique_ptr<pa_mainloop, LoopFree> loop(pa_mainloop_new());
  if (!loop) return std::nullopt;
  std::unique_ptr<pa_context, ContextFree> context(pa_context_new(pa_mainloop_get_api(loop.get()), "Quorvel"));
  if (!context || pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    return std::nullopt;
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // One step of the loop, waiting at most until the deadline; false once it passed.
  const auto step = [&] {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (pa_mainloop_prepare(loop.get(), static_cast<int>(left.count())) < 0) return false;
    if (pa_mainloop_poll(loop.get()) < 0) return false;
    return pa_mainloop_dispatch(loop.get()) >= 0;
  };
  while (pa_context_get_state(context.get()) != PA_CONTEXT_READY) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context.get())) || !step()) return std::nullopt;
  }
  Listing listing;
  pa_operation* operation = pa_context_get_source_info_list(
      context.get(),
      [](pa_context*, const pa_source_info* info, int last, void* data) {
        auto* into = static_cast<Listing*>(data);
        if (last != 0 || info == nullptr) {
          into->done = true;
          return;
        }
        if (info->monitor_of_sink != PA_INVALID_INDEX || info->name == nullptr) return;
        into->sources.push_back({info->name, info->description ? info->description : info->name});
      },
      &listing);
  if (!operation) return std::nullopt;
  while (!listing.done && step()) {
  }
  if (!listing.done) pa_operation_cancel(operation);
  pa_operation_unref(operation);
  if (!listing.done) return std::nullopt;
  return listing.sources;
}

}  // namespace quorvel
