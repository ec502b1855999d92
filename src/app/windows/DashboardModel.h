// The dashboard's data: the dictation history, the personal dictionary and the
// page shown, with the dictionary edits of the Dictionary page and the
// History page's search. The Qt window only draws this and forwards clicks.
//
// Threading: main thread only. The dictionary's change notice may arrive on
// any thread; the model hops to the main loop before reading the words again,
// and a notice that lands after the model is gone does nothing.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/windows/DashboardBridge.h"
#include "app/history/DictationLog.h"
#include "app/core/MainLoop.h"
#include "app/history/Stats.h"
#include "text/CleanupConfig.h"
#include "text/WordsChanged.h"

namespace quorvel {

enum class Page { home, history, dictionary, settings };
inline constexpr std::array<Page, 4> allPages = {Page::home, Page::history, Page::dictionary,
                                                 Page::settings};
// "Home", "History", "Dictionary", "Settings".
std::string_view pageTitle(Page page);
// The page whose title in lower case is `name` ("history"); nothing otherwise.
std::optional<Page> pageNamed(std::string_view name);

// Where the model reads from: the history file and the cleanup configuration.
struct DashboardSources {
  fs::path history;
  CleanupFiles cleanup;
  // The user's files (the data folder's history and cleanup.json).
  static DashboardSources standard();
};

// The History page's entries of one day, newest first.
struct HistoryDay {
  std::string title;  // "Today", "Yesterday", "Monday, March 2"
  std::vector<const DictationEntry*> entries;
};

class DashboardModel {
 public:
  DashboardModel(SharedBridge bridge, MainLoop& loop,
                 DashboardSources sources = DashboardSources::standard());
  ~DashboardModel();
  DashboardModel(const DashboardModel&) = delete;
  DashboardModel& operator=(const DashboardModel&) = delete;

  Page page = Page::home;

  DashboardBridge& bridge() const { return *bridge_; }
  const SharedBridge& sharedBridge() const { return bridge_; }
  // The history, oldest first, as the file holds it.
  const std::vector<DictationEntry>& entries() const { return entries_; }
  // The dictionary's words as stored.
  const std::vector<std::string>& words() const { return words_; }

  // Reads the history and the words again, then runs onChange.
  void reload();
  void reloadWords();
  // Runs after every reload (the window redraws).
  std::function<void()> onChange;

  // --- Dictionary page -------------------------------------------------------
  // Each edit loads the configuration, changes it and saves it under the
  // configuration's lock, then shows the stored words.
  void removeWord(const std::string& word);
  std::string newWord;                 // the "Add a name, product or term" field
  std::optional<std::string> editing;  // the word whose spelling is being edited
  std::string editText;                // the edit field
  // Adds the field's word (trimmed of spaces and tabs) and empties the field;
  // a blank field changes nothing and keeps its content.
  void addWord();
  void startEdit(const std::string& word);
  void cancelEdit();
  // Renames the edited word to the field's text, then leaves edit mode.
  void saveEdit();

  // --- Home and History ------------------------------------------------------
  // The statistics, computed when the history was read (and for another day
  // when `now` has moved to it).
  Stats stats(std::chrono::system_clock::time_point now) const;
  // The newest entry with typed text, or null.
  const DictationEntry* lastDictation() const;
  // Entries whose typed text contains the query, ignoring case, newest first;
  // every entry when the query is empty.
  std::vector<const DictationEntry*> search(std::string_view query) const;
  // The same grouped by local day, the newest day first.
  std::vector<HistoryDay> history(std::string_view query,
                                  std::chrono::system_clock::time_point now) const;

 private:
  void changed();
  void saveChange(const std::function<bool(PersonalWords&)>& change);

  SharedBridge bridge_;
  MainLoop& loop_;
  DashboardSources sources_;
  std::vector<DictationEntry> entries_;
  std::vector<std::string> words_;
  // Newest first, by date; the order every list shows.
  std::vector<const DictationEntry*> newestFirst_;
  // Case-folded typed texts, built at the first search after a reload.
  mutable std::vector<std::string> folded_;
  mutable std::optional<std::pair<LocalDay, Stats>> stats_;
  // Lets a notice posted to the loop find out that the model is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::unique_ptr<WordsChanged::Observation> wordsObserver_;
};

}  // namespace quorvel
