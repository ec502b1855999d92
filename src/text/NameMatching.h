// The name matching on a transcript: which of the user's names it may
// contain, misheard names repaired by sound, and the user's spellings and
// aliases enforced.
//
// Everything here is pure except isRealWord (text/SpellCheck.h), and may be
// called from any thread. Text and words are UTF-8; quotes, backslashes,
// pattern characters and emoji in words are matched literally.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "text/PersonalWords.h"
#include "text/SpellCheck.h"

namespace quorvel {

// A spelling test for a single word (isRealWord, or a fake in tests).
using WordTest = std::function<bool(std::string_view)>;

// Whole-word search: "\b" + word (literally) + "\b", ignoring case.
// An empty word is never found.
bool hasWord(std::string_view text, std::string_view word);

// The spellings a spoken name may have produced in `text`: one to three
// consecutive lower-cased words run together, and runs of single characters,
// also with spoken letter names ("bee", "cee", ...) turned into letters.
std::set<std::string> nameWindows(std::string_view text);

// The names (in the given order) that `text` may contain: written as a whole
// word, or close to one of its name windows (same letters, same sound, or a
// small edit distance).
std::vector<std::string> relevantNames(std::string_view text, const std::vector<std::string>& names);

// A more lenient form of relevantNames for one name, used by the cleanup guards.
bool mightBeSaid(std::string_view name, std::string_view text);

// The names to show the language model for `text`: the relevant ranked names
// not yet written correctly, then up to 6 extra names that sound like a word of
// the text; at most 24 in all.
std::vector<std::string> namesForCleanup(std::string_view text, const std::vector<std::string>& ranked,
                                         const std::vector<std::string>& extra);

// Each word of four or more ASCII letters that sounds like exactly one name
// (ignoring case) and is not a real word is replaced by that name.
std::string namesBySound(std::string_view text, const std::vector<std::string>& names,
                         const WordTest& isRealWord);

// applyDictionary with the words' dictionary and aliases, then namesBySound.
std::string spellNames(std::string_view text, const PersonalWords& words,
                       const std::vector<std::string>& names, const WordTest& isRealWord);

// The aliases applied (heard -> written, whole words, ignoring case), then each
// dictionary word's spelling enforced: its own case, and for words of more than
// four characters without a space, near misses (edit distance 1, or 2 when
// capitalised, same first letter) replaced.
std::string applyDictionary(std::string_view text, const std::vector<std::string>& dictionary,
                            const std::map<std::string, std::string>& aliases = {});

}  // namespace quorvel
