// JSON forms of the correction records.
#include "text/LearnedFix.h"

namespace quorvel {

LearnedFix learnedFix(const Fix& fix) {
  return LearnedFix{fix.heard, fix.meant, fix.replace, fix.learn, std::nullopt};
}

Json toJson(const Fix& fix) {
  return Json{{"heard", fix.heard}, {"meant", fix.meant}, {"replace", fix.replace}, {"learn", fix.learn}};
}

std::optional<Fix> fixFromJson(const Json& value) {
  auto heard = stringMember(value, "heard");
  auto meant = stringMember(value, "meant");
  auto replace = boolMember(value, "replace");
  auto learn = boolMember(value, "learn");
  if (!heard || !meant || !replace || !learn) return std::nullopt;
  return Fix{std::move(*heard), std::move(*meant), *replace, *learn};
}

Json toJson(const LearnedFix& fix) {
  Json out{{"heard", fix.heard}, {"meant", fix.meant}, {"replace", fix.replace}};
  if (fix.learn) out["learn"] = *fix.learn;
  if (fix.dictation) out["dictation"] = *fix.dictation;
  return out;
}

std::optional<LearnedFix> learnedFixFromJson(const Json& value) {
  auto heard = stringMember(value, "heard");
  auto meant = stringMember(value, "meant");
  auto replace = boolMember(value, "replace");
  if (!heard || !meant || !replace) return std::nullopt;
  LearnedFix fix{std::move(*heard), std::move(*meant), *replace, std::nullopt, std::nullopt};
  // An optional key may be missing or null; any other type makes the record unreadable.
  if (auto it = value.find("learn"); it != value.end() && !it->is_null()) {
    if (!it->is_boolean()) return std::nullopt;
    fix.learn = it->get<bool>();
  }
  if (auto it = value.find("dictation"); it != value.end() && !it->is_null()) {
    if (!it->is_string()) return std::nullopt;
    fix.dictation = it->get<std::string>();
  }
  return fix;
}

}  // namespace quorvel
