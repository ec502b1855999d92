// The answer script: a JSON-lines file both stand-ins may share. Each takes
// only its own lines — whisper the lines with "text", llama the lines with
// "match" — and skips the other's without a word.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Fault.h"

namespace quorvel::standin {

// Extras any line may carry: "delay_ms" (an integer >= 0, waited before
// answering, on top of the latency model) and "fault" (a fault name).
struct Cue {
  double delayMs = 0;
  Fault fault = Fault::none;
};

// {"text": TEXT}: the transcript of the next request, in file order.
struct TranscriptCue : Cue {
  std::string text;
};

// {"match": TEXT, "answer": TEXT}: the answer when the dictation equals TEXT.
struct AnswerCue : Cue {
  std::string match;
  std::string answer;
};

// Load the lines meant for one stand-in. A missing `path` (empty) is an empty
// script; an unreadable file, a line that is not a JSON object, or one of ours
// with ill-typed members is skipped with a note on `notes`. Blank lines are ignored.
std::vector<TranscriptCue> loadTranscriptCues(const std::string& path, std::ostream& notes);
std::vector<AnswerCue> loadAnswerCues(const std::string& path, std::ostream& notes);

}  // namespace quorvel::standin
