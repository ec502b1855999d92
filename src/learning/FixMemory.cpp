// Letting the corrections of one watched dictation settle.
#include "learning/FixMemory.h"

#include <set>

#include "learning/FixFinder.h"
#include "text/NameText.h"
#include "text/Unicode.h"

namespace quorvel::FixFinder {

using nametext::lowerKey;

void Memory::remember(const Fix& fix) {
  const std::string heard = lowerKey(fix.heard);
  std::erase_if(finished, [&](const Fix& old) { return lowerKey(old.heard) == heard; });
  finished.push_back(fix);
}

std::vector<Fix> Memory::look(const std::vector<Fix>& fixes, std::string_view before, std::string_view after) {
  const std::string b = unicode::toUtf8(unicode::suffixOfAtMost(unicode::fromUtf8(before), 300));
  const std::string a = unicode::toUtf8(unicode::prefixOfAtMost(unicode::fromUtf8(after), 100));
  const bool sameSpot = lastAfter == a && lastBefore && editedAtEnd(*lastBefore, b);

  std::set<std::string> heardNow;
  for (const Fix& fix : fixes) heardNow.insert(lowerKey(fix.heard));
  auto superseded = [&](const Fix& fix) { return heardNow.count(lowerKey(fix.heard)) > 0; };

  if (!sameSpot) {
    for (const Fix& old : pending) {
      if (!superseded(old)) remember(old);
    }
  }
  pending.clear();
  for (const Fix& fix : fixes) {
    if (touching(fix.meant, before)) {
      pending.push_back(fix);
    } else {
      remember(fix);
    }
  }

  std::string around(before);
  around += after;
  const std::vector<std::string> aroundKeys = keys(tokens(around));
  std::erase_if(finished, [&](const Fix& fix) {
    return !superseded(fix) && contains(aroundKeys, keys(tokens(fix.heard)));
  });

  lastBefore = b;
  lastAfter = a;

  std::vector<Fix> out = fixes;
  for (const Fix& fix : finished) {
    if (!superseded(fix)) out.push_back(fix);
  }
  return out;
}

Json toJson(const Memory& memory) {
  Json finished = Json::array();
  for (const Fix& fix : memory.finished) finished.push_back(quorvel::toJson(fix));
  Json pending = Json::array();
  for (const Fix& fix : memory.pending) pending.push_back(quorvel::toJson(fix));
  Json out{{"finished", std::move(finished)}, {"pending", std::move(pending)}};
  if (memory.lastBefore) out["lastBefore"] = *memory.lastBefore;
  if (memory.lastAfter) out["lastAfter"] = *memory.lastAfter;
  return out;
}

std::optional<Memory> memoryFromJson(const Json& value) {
  if (!value.is_object()) return std::nullopt;
  Memory memory;
  for (auto [key, list] : {std::pair{"finished", &memory.finished}, std::pair{"pending", &memory.pending}}) {
    auto it = value.find(key);
    if (it == value.end() || !it->is_array()) return std::nullopt;
    for (const Json& item : *it) {
      auto fix = fixFromJson(item);
      if (!fix) return std::nullopt;
      list->push_back(std::move(*fix));
    }
  }
  for (auto [key, field] : {std::pair{"lastBefore", &memory.lastBefore}, std::pair{"lastAfter", &memory.lastAfter}}) {
    auto it = value.find(key);
    if (it == value.end() || it->is_null()) continue;
    if (!it->is_string()) return std::nullopt;
    *field = it->get<std::string>();
  }
  return memory;
}

}  // namespace quorvel::FixFinder
