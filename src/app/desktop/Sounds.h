// The three short sounds: start of a recording, a failure, models ready.
//
// What every adapter promises: play() comes from the main thread and returns
// at once (the sound server plays it; the first call may connect to it). A
// desktop without a sound server or without the sound is silent: logged once,
// never an error the user sees, and tried again a while later.
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
  virtual void play(SoundName sound) = 0;
};

}  // namespace quorvel
