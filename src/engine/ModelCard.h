// The model card: a small JSON description that travels beside a cleanup
// model or layer file ("cleanup-5.json" beside "cleanup-5.gguf").
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "support/Files.h"
#include "support/Json.h"

namespace quorvel {

struct ModelCard {
  std::string name;
  std::optional<std::string> base;
  std::optional<std::string> trained;
  std::optional<long long> examples;
  std::optional<long long> speechExamples;  // "speech_examples"
  std::optional<long long> pairs;
  std::optional<std::string> listScore;  // "list_score"

  // A card from its JSON: "name" is required; other keys may be missing or
  // null; a listed key of the wrong type makes the card unreadable; unknown
  // keys are ignored.
  static std::optional<ModelCard> fromJson(const Json& json);

  // The card beside modelFile (links resolved first, extension replaced by
  // "json"), else the resource resourceName + ".json", else nothing.
  static std::optional<ModelCard> beside(const fs::path& modelFile, std::string_view resourceName);
  // The cleanup model's card (resource "cleanup-model").
  static std::optional<ModelCard> forCleanupModel(const fs::path& modelFile);
  // A layer's card (resource "adapter-" + name).
  static std::optional<ModelCard> forLayer(std::string_view layerName, const fs::path& layerFile);
};

}  // namespace quorvel
