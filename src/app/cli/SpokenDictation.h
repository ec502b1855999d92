// One recording through the live path as if it were being spoken: fed to the
// chunker in 0.25 s steps, each piece transcribed in order while talk-ahead
// cleans what is finished, then at the "release" the tail, the last
// transcript and the finish. The command line's "--test" and the shared
// servers' load bench both dictate this way.
//
// Threading: blocks the calling thread for the length of the recording
// (unless instant) plus the time after the release; several may run at once
// on different pipelines.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "audio/Chunker.h"
#include "audio/Samples.h"
#include "engine/DictationResult.h"
#include "engine/Pipeline.h"

namespace quorvel {

struct SpeakingOptions {
  bool instant = false;  // no 0.25 s pause between the feeding steps
  Chunker chunker;       // the chunker's settings
};

struct SpokenDictation {
  DictationResult result;
  int pieces = 0;               // transcribed pieces, the tail included
  int speechFailed = 0;         // pieces whose request failed (heard as silence)
  std::int64_t speechMs = 0;    // release to the last transcript
  std::int64_t afterReleaseMs = 0;  // release to the finished text
  bool languageUnanswered = false;  // the finish fell back: the language model gave no answer
  std::optional<TalkAheadHead> ahead;
};

SpokenDictation dictateAsSpoken(Servers& servers, const std::shared_ptr<Pipeline>& pipeline,
                                const std::shared_ptr<const Samples>& samples, const SpeakingOptions& options);

}  // namespace quorvel
