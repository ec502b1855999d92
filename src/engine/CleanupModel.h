// Which language model the engine runs: the trained cleanup model when one is
// present (the base model with its cleanup layer, else the stand-alone
// "cleanup-trained.gguf"), otherwise the base model alone as the standard
// cleanup model, which follows the system text and examples of cleanup.json
// and is asked only about texts that need it.
#pragma once

#include <string>

namespace quorvel {

struct CleanupModelChoice {
  bool trained = true;        // what Pipeline::trained must be
  std::string modelFile;      // for Servers::startLlama (a file in the models folder, or a path)
  std::string description;    // one line for the run's report
};

// Looks at the models folder (and QUORVEL_BASE_MODEL) now.
CleanupModelChoice chooseCleanupModel();

}  // namespace quorvel
