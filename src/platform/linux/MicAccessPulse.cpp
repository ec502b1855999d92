// Asks the PulseAudio (or PipeWire-pulse) server about the default source.
#include "platform/linux/MicAccessPulse.h"

#include <pulse/pulseaudio.h>

#include <string>

namespace quorvel {
namespace {

struct Query {
  bool answered = false;
  std::string defaultSource;
  bool sourceFound = false;
  bool sourceAnswered = false;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* data) {
  auto* query = static_cast<Query*>(data);
  if (info != nullptr && info->default_source_name != nullptr) {
    query->defaultSource = info->default_source_name;
  }
  query->answered = true;
}

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* data) {
  auto* query = static_cast<Query*>(data);
  if (eol < 0) {
    query->sourceAnswered = true;  // no such source
    return;
  }
  if (info != nullptr) query->sourceFound = true;
  if (eol > 0) query->sourceAnswered = true;
}

}  // namespace

MicrophoneAccess pulseMicrophoneAccess(std::chrono::milliseconds limit) {
  pa_mainloop* loop = pa_mainloop_new();
  if (loop == nullptr) return MicrophoneAccess::restricted;
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Quorvel");
  MicrophoneAccess access = MicrophoneAccess::restricted;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // Runs the loop in slices of at most 20 ms until done or the deadline.
  auto runUntil = [&](auto done) {
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (pa_mainloop_prepare(loop, 20000) < 0 || pa_mainloop_poll(loop) < 0 ||
          pa_mainloop_dispatch(loop) < 0) {
        return false;
      }
    }
    return true;
  };
  if (context != nullptr &&
      pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
    const bool settled = runUntil([&] {
      const pa_context_state_t state = pa_context_get_state(context);
      return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    if (settled && pa_context_get_state(context) == PA_CONTEXT_READY) {
      Query query;
      if (pa_operation* op = pa_context_get_server_info(context, onServerInfo, &query)) {
        runUntil([&] { return query.answered; });
        pa_operation_unref(op);
      }
      if (!query.defaultSource.empty()) {
        if (pa_operation* op = pa_context_get_source_info_by_name(
                context, query.defaultSource.c_str(), onSourceInfo, &query)) {
          runUntil([&] { return query.sourceAnswered; });
          pa_operation_unref(op);
        }
      }
      if (query.sourceFound) access = MicrophoneAccess::allowed;
    } else if (pa_context_errno(context) == PA_ERR_ACCESS) {
      access = MicrophoneAccess::denied;
    }
  } else if (context != nullptr && pa_context_errno(context) == PA_ERR_ACCESS) {
    access = MicrophoneAccess::denied;
  }
  if (context != nullptr) {
    pa_context_disconnect(context);
    pa_context_unref(context);
  }
  pa_mainloop_free(loop);
  return access;
}

}  // namespace quorvel
