// Console adapters for the personal words, the cleanup names and the
// correction finder.
#include "VocabularyRules.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "learning/FixFinder.h"
#include "learning/FixMemory.h"
#include "text/NameMatching.h"
#include "text/SpellCheck.h"

namespace quorvel::rules {
namespace {

struct BadRequest : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Checked access to "args".
class Arguments {
 public:
  Arguments(const Json& request, std::string name) : name_(std::move(name)) {
    const auto it = request.find("args");
    if (it != request.end()) {
      if (!it->is_array()) throw BadRequest("\"args\" must be an array");
      values_ = *it;
    }
  }
  void expect(size_t least, size_t most) const {
    if (values_.size() < least || values_.size() > most) {
      throw BadRequest(name_ + " takes " + (least == most ? std::to_string(least)
                                                           : std::to_string(least) + " to " + std::to_string(most)) +
                       " arguments, got " + std::to_string(values_.size()));
    }
  }
  size_t size() const { return values_.size(); }
  const Json& at(size_t i) const { return values_.at(i); }
  std::string text(size_t i) const {
    if (!at(i).is_string()) throw problem(i, "a string");
    return at(i).get<std::string>();
  }
  int integer(size_t i) const {
    if (!at(i).is_number_integer()) throw problem(i, "an integer");
    return at(i).get<int>();
  }
  bool flag(size_t i) const {
    if (!at(i).is_boolean()) throw problem(i, "true or false");
    return at(i).get<bool>();
  }
  std::vector<std::string> texts(size_t i) const { return textList(at(i), "argument " + std::to_string(i + 1)); }

  static std::vector<std::string> textList(const Json& value, const std::string& what) {
    if (!value.is_array()) throw BadRequest(what + " must be an array of strings");
    std::vector<std::string> out;
    for (const Json& item : value) {
      if (!item.is_string()) throw BadRequest(what + " must be an array of strings");
      out.push_back(item.get<std::string>());
    }
    return out;
  }

 private:
  BadRequest problem(size_t i, const std::string& kind) const {
    return BadRequest("argument " + std::to_string(i + 1) + " of " + name_ + " must be " + kind);
  }
  std::string name_;
  Json values_ = Json::array();
};

std::map<std::string, std::string> aliasMap(const Json& value) {
  if (value.is_null()) return {};
  if (!value.is_object()) throw BadRequest("aliases must be an object of strings");
  std::map<std::string, std::string> out;
  for (const auto& [key, item] : value.items()) {
    if (!item.is_string()) throw BadRequest("aliases must be an object of strings");
    out.emplace(key, item.get<std::string>());
  }
  return out;
}

PersonalWords wordsFrom(const Json& value) {
  if (value.is_null()) return {};
  if (!value.is_object()) throw BadRequest("words must be an object {dictionary, aliases, learned, recent}");
  PersonalWords words;
  auto list = [&](const char* key) {
    const auto it = value.find(key);
    return it == value.end() || it->is_null() ? std::vector<std::string>{}
                                              : Arguments::textList(*it, std::string("words.") + key);
  };
  words.dictionary = list("dictionary");
  words.learned = list("learned");
  words.recent = list("recent");
  if (const auto it = value.find("aliases"); it != value.end()) words.aliases = aliasMap(*it);
  return words;
}

Json toJson(const PersonalWords& words) {
  Json aliases = Json::object();
  for (const auto& [heard, written] : words.aliases) aliases[heard] = written;
  return {{"dictionary", words.dictionary}, {"aliases", aliases}, {"learned", words.learned}, {"recent", words.recent}};
}

LearnedFix learnedFixFrom(const Json& value) {
  auto fix = learnedFixFromJson(value);
  if (!fix) throw BadRequest("a fix must be {heard, meant, replace[, learn][, dictation]}");
  return *fix;
}

Fix fixFrom(const Json& value) {
  auto fix = fixFromJson(value);
  if (!fix) throw BadRequest("a fix must be {heard, meant, replace, learn}");
  return *fix;
}

std::vector<Fix> fixList(const Json& value) {
  if (!value.is_array()) throw BadRequest("fixes must be an array");
  std::vector<Fix> out;
  for (const Json& item : value) out.push_back(fixFrom(item));
  return out;
}

Json fixesJson(const std::vector<Fix>& fixes) {
  Json out = Json::array();
  for (const Fix& fix : fixes) out.push_back(toJson(fix));
  return out;
}

Json optionalFixes(const std::optional<std::vector<Fix>>& fixes) { return fixes ? fixesJson(*fixes) : Json(); }

// The shipped frequency list, read once.
const FixFinder::Frequency& shippedFrequency() {
  static const FixFinder::Frequency frequency = [] {
    std::filesystem::path folder;
    if (const char* resources = std::getenv("QUORVEL_RESOURCES"); resources && *resources) {
      folder = resources;
    } else {
#ifdef QUORVEL_SOURCE_RESOURCES
      folder = QUORVEL_SOURCE_RESOURCES;
#endif
    }
    return FixFinder::frequencyFrom(
        std::make_shared<FixFinder::FrequencyTable>(FixFinder::loadFrequencies(folder / "wordfreq-en.txt")));
  }();
  return frequency;
}

FixFinder::Frequency frequencyOf(const Json& request) {
  const auto it = request.find("frequency");
  if (it == request.end() || it->is_null()) return shippedFrequency();
  if (!it->is_object()) throw BadRequest("\"frequency\" must be an object of word -> number");
  auto table = std::make_shared<FixFinder::FrequencyTable>();
  for (const auto& [word, value] : it->items()) {
    if (!value.is_number()) throw BadRequest("\"frequency\" must be an object of word -> number");
    (*table)[word] = value.get<float>();
  }
  return FixFinder::frequencyFrom(table);
}

Json personal(const Json& request) {
  PersonalWords words = wordsFrom(request.contains("words") ? request.at("words") : Json());
  const auto ops = request.find("ops");
  if (ops == request.end() || !ops->is_array()) throw BadRequest("\"ops\" must be an array of [name, argument...]");
  Json results = Json::array();
  for (const Json& op : *ops) {
    if (!op.is_array() || op.empty() || !op[0].is_string()) {
      throw BadRequest("each operation must be [name, argument...]");
    }
    const std::string name = op[0].get<std::string>();
    Arguments args(Json{{"args", Json(op.begin() + 1, op.end())}}, name);
    if (name == "add") {
      args.expect(1, 1);
      words.add(args.text(0));
      results.push_back(nullptr);
    } else if (name == "rename") {
      args.expect(2, 2);
      words.rename(args.text(0), args.text(1));
      results.push_back(nullptr);
    } else if (name == "remove") {
      args.expect(1, 1);
      words.remove(args.texts(0));
      results.push_back(nullptr);
    } else if (name == "touch") {
      args.expect(1, 1);
      words.touch(args.texts(0));
      results.push_back(nullptr);
    } else if (name == "absorb") {
      args.expect(1, 1);
      if (!args.at(0).is_array()) throw BadRequest("absorb takes an array of fixes");
      std::vector<LearnedFix> fixes;
      for (const Json& fix : args.at(0)) fixes.push_back(learnedFixFrom(fix));
      const auto counts = words.absorb(fixes);
      results.push_back({{"learned", counts.learned}, {"unlearned", counts.unlearned}});
    } else if (name == "noteUsed") {
      args.expect(1, 1);
      results.push_back(words.noteUsed(args.text(0)));
    } else if (name == "repairLearned") {
      args.expect(0, 0);
      results.push_back(words.repairLearned());
    } else if (name == "promptNames") {
      args.expect(0, 0);
      results.push_back(words.promptNames());
    } else {
      throw BadRequest("unknown operation: " + name);
    }
  }
  return {{"words", toJson(words)}, {"results", results}};
}

Json memoryLook(const Json& request) {
  FixFinder::Memory memory;
  if (const auto it = request.find("memory"); it != request.end() && !it->is_null()) {
    auto parsed = FixFinder::memoryFromJson(*it);
    if (!parsed) throw BadRequest("\"memory\" must be {finished, pending[, lastBefore][, lastAfter]}");
    memory = std::move(*parsed);
  }
  const auto looks = request.find("looks");
  if (looks == request.end() || !looks->is_array()) throw BadRequest("\"looks\" must be an array of [fixes, before, after]");
  Json results = Json::array();
  for (const Json& look : *looks) {
    if (!look.is_array() || look.size() != 3 || !look[1].is_string() || !look[2].is_string()) {
      throw BadRequest("each look must be [fixes, before, after]");
    }
    results.push_back(fixesJson(memory.look(fixList(look[0]), look[1].get<std::string>(), look[2].get<std::string>())));
  }
  return {{"results", results}, {"memory", FixFinder::toJson(memory)}};
}

using Handler = std::function<Json(const Json& request, const Arguments& args)>;

const std::map<std::string, Handler, std::less<>>& handlers() {
  using namespace FixFinder;
  static const std::map<std::string, Handler, std::less<>> table = {
      // Personal words.
      {"personal", [](const Json& r, const Arguments&) { return personal(r); }},
      {"hasWord", [](const Json&, const Arguments& a) { a.expect(2, 2); return Json(hasWord(a.text(0), a.text(1))); }},
      {"nameWindows", [](const Json&, const Arguments& a) { a.expect(1, 1); return Json(nameWindows(a.text(0))); }},
      {"relevantNames", [](const Json&, const Arguments& a) { a.expect(2, 2); return Json(relevantNames(a.text(0), a.texts(1))); }},
      {"mightBeSaid", [](const Json&, const Arguments& a) { a.expect(2, 2); return Json(mightBeSaid(a.text(0), a.text(1))); }},
      {"namesForCleanup", [](const Json&, const Arguments& a) { a.expect(3, 3); return Json(namesForCleanup(a.text(0), a.texts(1), a.texts(2))); }},
      {"namesBySound", [](const Json&, const Arguments& a) { a.expect(2, 2); return Json(namesBySound(a.text(0), a.texts(1), isRealWord)); }},
      {"spellNames", [](const Json&, const Arguments& a) { a.expect(3, 3); return Json(spellNames(a.text(0), wordsFrom(a.at(1)), a.texts(2), isRealWord)); }},
      {"applyDictionary", [](const Json&, const Arguments& a) {
         a.expect(2, 3);
         return Json(applyDictionary(a.text(0), a.texts(1), a.size() == 3 ? aliasMap(a.at(2)) : std::map<std::string, std::string>{}));
       }},
      {"isRealWord", [](const Json&, const Arguments& a) { a.expect(1, 1); return Json(isRealWord(a.text(0))); }},

      // Correction finder.
      {"FixFinder.tokens", [](const Json&, const Arguments& a) {
         a.expect(1, 1);
         Json out = Json::array();
         for (const Token& token : tokens(a.text(0))) out.push_back({{"text", token.text}, {"key", token.key}});
         return out;
       }},
      {"FixFinder.loadFrequencies", [](const Json&, const Arguments& a) { a.expect(1, 1); return Json(loadFrequencies(a.text(0))); }},
      {"FixFinder.soundKey", [](const Json&, const Arguments& a) { a.expect(1, 1); return Json(soundKey(a.text(0))); }},
      {"FixFinder.distance", [](const Json&, const Arguments& a) { a.expect(2, 2); return Json(distance(a.text(0), a.text(1))); }},
      {"FixFinder.soundsAlike", [](const Json&, const Arguments& a) { a.expect(2, 2); return Json(soundsAlike(a.text(0), a.text(1))); }},
      {"FixFinder.soundsLikeName", [](const Json&, const Arguments& a) { a.expect(2, 2); return Json(soundsLikeName(a.text(0), a.text(1))); }},
      {"FixFinder.unusual", [](const Json& r, const Arguments& a) { a.expect(1, 1); return Json(unusual(a.text(0), frequencyOf(r))); }},
      {"FixFinder.learnable", [](const Json& r, const Arguments& a) { a.expect(1, 1); return Json(learnable(a.text(0), frequencyOf(r))); }},
      {"FixFinder.align", [](const Json&, const Arguments& a) { a.expect(2, 2); return Json(align(a.texts(0), a.texts(1))); }},
      {"FixFinder.prevEnd", [](const Json&, const Arguments& a) {
         // [text, i] on the text's own tokens, or [text, i, n] on its last n tokens.
         a.expect(2, 3);
         std::vector<Token> list = tokens(a.text(0));
         if (a.size() == 3) {
           const int n = a.integer(2);
           if (n >= 0 && static_cast<size_t>(n) < list.size()) list.erase(list.begin(), list.end() - n);
         }
         return Json(prevEnd(a.text(0), list, a.integer(1)));
       }},
      {"FixFinder.contains", [](const Json&, const Arguments& a) { a.expect(2, 2); return Json(FixFinder::contains(a.texts(0), a.texts(1))); }},
      {"FixFinder.touching", [](const Json&, const Arguments& a) { a.expect(2, 2); return Json(touching(a.text(0), a.text(1))); }},
      {"FixFinder.editedAtEnd", [](const Json&, const Arguments& a) { a.expect(2, 2); return Json(editedAtEnd(a.text(0), a.text(1))); }},
      {"FixFinder.withoutLeadingNotName", [](const Json&, const Arguments& a) { a.expect(1, 1); return Json(withoutLeadingNotName(a.text(0))); }},
      {"FixFinder.judge", [](const Json& r, const Arguments& a) {
         a.expect(2, 3);
         const auto fix = judge(a.text(0), a.text(1), frequencyOf(r), a.size() == 3 ? a.flag(2) : true);
         return fix ? toJson(*fix) : Json();
       }},
      {"FixFinder.corrections", [](const Json& r, const Arguments& a) { a.expect(2, 2); return optionalFixes(corrections(a.text(0), a.text(1), frequencyOf(r))); }},
      {"FixFinder.visibleCorrections", [](const Json& r, const Arguments& a) { a.expect(2, 2); return optionalFixes(visibleCorrections(a.text(0), a.text(1), frequencyOf(r))); }},
      {"Memory.look", [](const Json& r, const Arguments&) { return memoryLook(r); }},
  };
  return table;
}

}  // namespace

std::optional<Json> answerVocabularyRequest(const Json& request) {
  const std::optional<std::string> name = stringMember(request, "fn");
  if (!name) return std::nullopt;
  const auto it = handlers().find(*name);
  if (it == handlers().end()) return std::nullopt;
  try {
    const Arguments args(request, *name);
    return Json{{"result", it->second(request, args)}};
  } catch (const std::exception& failure) {
    return Json{{"error", std::string(failure.what())}};
  } catch (...) {
    return Json{{"error", "internal error"}};
  }
}

}  // namespace quorvel::rules
