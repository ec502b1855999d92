// The floating status tag as the recording control drives it: a mode with an
// optional text, live partial text while the model writes, and a hide that
// only acts if nothing newer was shown meanwhile. The Qt tag implements it;
// tests use a fake that records the calls.
//
// What every adapter promises: main thread only; no call waits (animations
// run on the main loop and a newer call cuts an older one short). The level
// source is called on the main thread about 30 times a second while
// recording, so it must be cheap and must not block. The view is owned by
// the application and borrows the main loop, which outlives it.
#pragma once

#include <functional>
#include <string>

namespace quorvel {

enum class TagMode {
  recording,     // live level bars
  transcribing,  // a travelling wave
  polishing,     // the wave with the cleaned text arriving
  done,          // check mark and the text ("Typed · 12 words")
  failed,        // text only
};

class TagView {
 public:
  virtual ~TagView() = default;
  virtual void show(TagMode mode, const std::string& text) = 0;
  // Partial cleaned text while the model writes (polishing).
  virtual void setPreview(const std::string& text) = 0;
  // Hides after the delay, unless something was shown in between.
  virtual void hide(double afterSeconds) = 0;
  // Where the live level (0…1) comes from while recording.
  virtual void setLevelSource(std::function<float()> level) = 0;
};

}  // namespace quorvel
