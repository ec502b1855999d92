// The floating status tag as the recording control drives it: a mode with an
// optional text, live partial text while the model writes, and a hide that
// only acts if nothing newer was shown meanwhile. The Qt tag implements it;
// tests use a fake that records the calls.
//
// Threading: main thread only.
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
