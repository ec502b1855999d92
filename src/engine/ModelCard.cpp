// Reads model cards.
#include "engine/ModelCard.h"

#include "engine/Config.h"

namespace quorvel {
namespace {

// Reads an optional member; false when it is present with the wrong type.
bool readText(const Json& json, const char* key, std::optional<std::string>& into) {
  auto it = json.find(key);
  if (it == json.end() || it->is_null()) return true;
  if (!it->is_string()) return false;
  into = it->get<std::string>();
  return true;
}

bool readInteger(const Json& json, const char* key, std::optional<long long>& into) {
  auto it = json.find(key);
  if (it == json.end() || it->is_null()) return true;
  if (it->is_number_integer()) {
    into = it->get<long long>();
    return true;
  }
  return false;
}

std::optional<ModelCard> readCard(const fs::path& file) {
  auto text = readWholeFile(file);
  if (!text) return std::nullopt;
  auto json = parseJson(*text);
  if (!json) return std::nullopt;
  return ModelCard::fromJson(*json);
}

}  // namespace

std::optional<ModelCard> ModelCard::fromJson(const Json& json) {
  if (!json.is_object()) return std::nullopt;
  ModelCard card;
  auto name = json.find("name");
  if (name == json.end() || !name->is_string()) return std::nullopt;
  card.name = name->get<std::string>();
  if (!readText(json, "base", card.base) || !readText(json, "trained", card.trained) ||
      !readInteger(json, "examples", card.examples) ||
      !readInteger(json, "speech_examples", card.speechExamples) ||
      !readInteger(json, "pairs", card.pairs) || !readText(json, "list_score", card.listScore)) {
    return std::nullopt;
  }
  return card;
}

std::optional<ModelCard> ModelCard::beside(const fs::path& modelFile,
                                           std::string_view resourceName) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(modelFile, error);
  if (error) resolved = modelFile;
  if (auto card = readCard(resolved.replace_extension(".json"))) return card;
  return readCard(Config::resources() / (std::string(resourceName) + ".json"));
}

std::optional<ModelCard> ModelCard::forCleanupModel(const fs::path& modelFile) {
  return beside(modelFile, "cleanup-model");
}

std::optional<ModelCard> ModelCard::forLayer(std::string_view layerName, const fs::path& layerFile) {
  return beside(layerFile, "adapter-" + std::string(layerName));
}

}  // namespace quorvel
