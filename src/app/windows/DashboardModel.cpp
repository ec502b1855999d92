// The dashboard's data and the Dictionary page's edits.
#include "app/windows/DashboardModel.h"

#include <unicode/ucasemap.h>

#include <algorithm>

#include "app/history/DayLabels.h"
#include "engine/Pipeline.h"

namespace quorvel {
namespace {

constexpr std::array<std::string_view, 4> kTitles = {"Home", "History", "Dictionary", "Settings"};
constexpr std::array<std::string_view, 4> kNames = {"home", "history", "dictionary", "settings"};

// Spaces and tabs only: a word may hold other characters at its ends.
std::string trimSpacesAndTabs(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

// Full Unicode case folding ("Straße" finds "STRASSE"); invalid UTF-8 reads
// as U+FFFD.
std::string caseFolded(std::string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  static UCaseMap* const map = ucasemap_open("", U_FOLD_CASE_DEFAULT, &status);
  if (map == nullptr || text.size() > INT32_MAX / 4) return std::string(text);
  std::string out(text.size() + text.size() / 4 + 8, '\0');
  status = U_ZERO_ERROR;
  int32_t length = ucasemap_utf8FoldCase(map, out.data(), static_cast<int32_t>(out.size()),
                                         text.data(), static_cast<int32_t>(text.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.assign(static_cast<size_t>(length), '\0');
    status = U_ZERO_ERROR;
    length = ucasemap_utf8FoldCase(map, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                   static_cast<int32_t>(text.size()), &status);
  }
  if (U_FAILURE(status)) return std::string(text);
  out.resize(static_cast<size_t>(length));
  return out;
}

}  // namespace

std::string_view pageTitle(Page page) { return kTitles[static_cast<size_t>(page)]; }

std::optional<Page> pageNamed(std::string_view name) {
  for (Page page : allPages) {
    if (kNames[static_cast<size_t>(page)] == name) return page;
  }
  return std::nullopt;
}

DashboardSources DashboardSources::standard() { return {dictationLogFile(), engineCleanupFiles()}; }

DashboardModel::DashboardModel(SharedBridge bridge, MainLoop& loop, DashboardSources sources)
    : bridge_(bridge ? std::move(bridge) : std::make_shared<DashboardBridge>()),
      loop_(loop),
      sources_(std::move(sources)) {
  reload();
  // The notice comes from whichever thread saved the words.
  std::weak_ptr<bool> alive = alive_;
  MainLoop* mainLoop = &loop_;
  wordsObserver_ = std::make_unique<WordsChanged::Observation>([this, alive, mainLoop] {
    mainLoop->post([this, alive] {
      if (alive.lock()) reloadWords();
    });
  });
}

DashboardModel::~DashboardModel() {
  wordsObserver_.reset();  // no notice runs past this point
  alive_.reset();
}

void DashboardModel::reload() {
  entries_ = loadEntries(sources_.history);
  newestFirst_.clear();
  newestFirst_.reserve(entries_.size());
  for (const DictationEntry& entry : entries_) newestFirst_.push_back(&entry);
  std::reverse(newestFirst_.begin(), newestFirst_.end());
  // Lines are appended in the order dictations finish; by date, a line with
  // a clock set wrong still lands where its day is.
  std::stable_sort(newestFirst_.begin(), newestFirst_.end(),
                   [](const DictationEntry* a, const DictationEntry* b) { return a->date > b->date; });
  folded_.clear();
  stats_.reset();
  words_ = CleanupConfig::load(sources_.cleanup).dictionary;
  changed();
}

void DashboardModel::reloadWords() {
  words_ = CleanupConfig::load(sources_.cleanup).dictionary;
  if (editing && std::find(words_.begin(), words_.end(), *editing) == words_.end()) editing.reset();
  changed();
}

void DashboardModel::changed() {
  if (onChange) onChange();
}

void DashboardModel::saveChange(const std::function<bool(PersonalWords&)>& change) {
  CleanupConfig::updateWords(sources_.cleanup, change);
  // What is stored now, whether or not the save went through.
  words_ = CleanupConfig::load(sources_.cleanup).dictionary;
  changed();
}

void DashboardModel::removeWord(const std::string& word) {
  if (editing && *editing == word) cancelEdit();
  saveChange([&](PersonalWords& words) {
    const PersonalWords before = words;
    words.remove({word});
    return !(words == before);
  });
}

void DashboardModel::addWord() {
  const std::string word = trimSpacesAndTabs(newWord);
  if (word.empty()) return;
  saveChange([&](PersonalWords& words) {
    words.add(word);
    return true;
  });
  newWord.clear();
}

void DashboardModel::startEdit(const std::string& word) {
  editing = word;
  editText = word;
}

void DashboardModel::cancelEdit() {
  editing.reset();
  editText.clear();
}

void DashboardModel::saveEdit() {
  const std::optional<std::string> from = editing;
  const std::string to = editText;
  cancelEdit();
  if (!from) {
    changed();
    return;
  }
  saveChange([&](PersonalWords& words) {
    const PersonalWords before = words;
    words.rename(*from, to);
    return !(words == before);
  });
}

Stats DashboardModel::stats(std::chrono::system_clock::time_point now) const {
  if (!stats_ || !stats_->first.contains(now)) stats_.emplace(localDayOf(now), Stats(entries_, now));
  return stats_->second;
}

const DictationEntry* DashboardModel::lastDictation() const {
  for (const DictationEntry* entry : newestFirst_) {
    if (!entry->text.empty()) return entry;
  }
  return nullptr;
}

std::vector<const DictationEntry*> DashboardModel::search(std::string_view query) const {
  if (query.empty()) return newestFirst_;
  if (folded_.size() != newestFirst_.size()) {
    folded_.clear();
    folded_.reserve(newestFirst_.size());
    for (const DictationEntry* entry : newestFirst_) folded_.push_back(caseFolded(entry->text));
  }
  const std::string needle = caseFolded(query);
  std::vector<const DictationEntry*> found;
  for (size_t i = 0; i < newestFirst_.size(); ++i) {
    if (folded_[i].find(needle) != std::string::npos) found.push_back(newestFirst_[i]);
  }
  return found;
}

std::vector<HistoryDay> DashboardModel::history(std::string_view query,
                                                std::chrono::system_clock::time_point now) const {
  std::vector<HistoryDay> days;
  std::optional<LocalDay> current;
  for (const DictationEntry* entry : search(query)) {
    if (!current || !current->contains(entry->date)) {
      current = localDayOf(entry->date);
      days.push_back({dayTitle(entry->date, now), {}});
    }
    days.back().entries.push_back(entry);
  }
  return days;
}

}  // namespace quorvel
