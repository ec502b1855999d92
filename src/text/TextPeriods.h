// The learned preference for a final full stop in chat messages. It starts off
// (messages lose their final full stop); two corrections in a row against the
// current setting flip it, and a correction that agrees with it clears the
// count. Kept in the user defaults as Settings::textPeriodsOn and
// Settings::textPeriodsVotes.
//
// Thread safety: any thread may call these; a vote is one locked
// read-modify-write of the defaults file, so concurrent votes, even from two
// processes, are never lost.
#pragma once

#include <string_view>

#include "support/Result.h"
#include "support/Settings.h"
#include "support/UserDefaults.h"

namespace quorvel::TextPeriods {

// Whether chat messages keep their final full stop. False when the setting is
// absent or holds something other than a Bool.
bool on(const UserDefaults& store);
inline bool on() { return on(UserDefaults::standard()); }

// Records that the user added (true) or removed (false) a final full stop after
// a dictation. Agreeing with the setting resets the votes to 0; disagreeing
// adds one, and the second disagreement in a row sets "textPeriodsOn" to
// `added` and resets the votes. A stored value of the wrong type counts as its
// default. Fails only when the defaults file cannot be written; nothing is
// changed then.
Status userChanged(UserDefaults& store, bool added);
inline Status userChanged(bool added) {
  UserDefaults store = UserDefaults::standard();
  return userChanged(store, added);
}

}  // namespace quorvel::TextPeriods
