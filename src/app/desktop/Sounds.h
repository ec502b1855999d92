// The three short sounds: start of a recording, a failure, models ready. A
// desktop without a sound server is silent, never an error.
#pragma once

namespace quorvel {

enum class SoundName {
  tink,   // a recording started
  basso,  // something failed
  glass,  // the models are ready
};

class Sounds {
 public:
  virtual ~Sounds() = default;
  // Main thread; returns at once.
  virtual void play(SoundName sound) = 0;
};

}  // namespace quorvel
