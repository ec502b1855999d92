// The choice between the trained cleanup model and the standard one.
#include "engine/CleanupModel.h"

#include "engine/Config.h"

namespace quorvel {

CleanupModelChoice chooseCleanupModel() {
  constexpr const char* standAlone = "cleanup-trained.gguf";
  if (Config::usesAdapters()) {
    std::string layer;
    for (const auto& entry : Config::adapters()) {
      if (entry.name == "cleanup") layer = entry.file.filename().string();
    }
    // startLlama puts the base model and the layers on the command line itself.
    return {true, standAlone,
            "trained: " + Config::baseModelPath().filename().string() + " with the cleanup layer " + layer};
  }
  if (pathExists(Config::models() / standAlone)) {
    return {true, standAlone, std::string("trained: ") + standAlone};
  }
  const fs::path base = Config::baseModelPath();
  if (pathExists(base)) {
    // An absolute path: startLlama's models folder joined with it stays this path.
    return {false, base.string(),
            "standard: " + base.filename().string() + " without a cleanup layer"};
  }
  return {true, standAlone,
          std::string("trained: ") + standAlone + " (missing; neither it nor the base model " +
              base.filename().string() + " is in " + Config::models().string() + ")"};
}

}  // namespace quorvel
