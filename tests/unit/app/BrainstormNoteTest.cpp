// The Brainstorm note: dictations fitted in at the cursor, clear and undo,
// copy and insert with their sessions, the source application.
#include <gtest/gtest.h>

#include "FakeMainLoop.h"
#include "app/note/BrainstormNote.h"
#include "text/Unicode.h"

namespace quorvel {
namespace {

using testing::FakeMainLoop;

std::u16string u16(const std::string& text) {
  const icu::UnicodeString converted = unicode::fromUtf8(text);
  return std::u16string(converted.getBuffer(), static_cast<size_t>(converted.length()));
}

// An editor that keeps its text and an undo stack of whole texts, and reports
// every change back to the note as the real one does.
class FakeNoteWindow final : public NoteWindow {
 public:
  explicit FakeNoteWindow(BrainstormNote& note) : note_(note) {}
  void present() override {
    visible = true;
    key = true;
    ++presented;
  }
  void hide() override {
    visible = false;
    key = false;
  }
  bool isVisible() const override { return visible; }
  bool hasKeyboardFocus() const override { return key; }
  std::u16string editorText() const override { return text; }
  NoteRange selection() const override { return select; }
  void replace(NoteRange range, const std::string& inserted) override {
    undoStack.push_back(text);
    const std::u16string part = u16(inserted);
    text.replace(static_cast<size_t>(range.location), static_cast<size_t>(range.length), part);
    select = {range.location + static_cast<std::int64_t>(part.size()), 0};
    note_.editorChanged(unicode::toUtf8(icu::UnicodeString(false, text.data(), static_cast<int32_t>(text.size()))));
  }
  bool canUndo() const override { return !undoStack.empty(); }
  void undo() override {
    if (undoStack.empty()) return;
    text = undoStack.back();
    undoStack.pop_back();
    note_.editorChanged(unicode::toUtf8(icu::UnicodeString(false, text.data(), static_cast<int32_t>(text.size()))));
  }
  void refresh() override { ++refreshes; }

  bool visible = false;
  bool key = false;
  int presented = 0;
  int refreshes = 0;
  std::u16string text;
  NoteRange select;
  std::vector<std::u16string> undoStack;

 private:
  BrainstormNote& note_;
};

class FakePaster final : public Paster {
 public:
  bool paste(const std::string& text, PasteChord chord) override {
    pasted.push_back({text, chord});
    return true;
  }
  bool copy(const std::string& text) override {
    copied.push_back(text);
    return true;
  }
  std::vector<std::pair<std::string, PasteChord>> pasted;
  std::vector<std::string> copied;
};

class FakeDesktop final : public NoteDesktop {
 public:
  std::optional<SourceApp> frontmost() override { return front; }
  bool frontmostIsSelf() override { return self; }
  bool isActive(const SourceApp& app) override { return front && *front == app; }
  void activate(const SourceApp& app) override { activated.push_back(app.name); }
  std::optional<SourceApp> front;
  bool self = false;
  std::vector<std::string> activated;
};

class BrainstormNoteTest : public ::testing::Test {
 protected:
  FakeMainLoop loop_;
  FakePaster paster_;
  FakeDesktop desktop_;
  FakeNoteWindow* window_ = nullptr;
  BrainstormNote note_{loop_, paster_, desktop_, [this](BrainstormNote& note) {
                         auto window = std::make_unique<FakeNoteWindow>(note);
                         window_ = window.get();
                         return window;
                       }};
  const SourceApp mail_{"thunderbird", "Thunderbird", 42};
};

TEST_F(BrainstormNoteTest, ADictationReplacesTheSelectionFittedToItsNeighbours) {
  note_.show();
  window_->replace({0, 0}, "We met at the cafe and talked.");
  window_->select = {10, 8};  // "the cafe"
  note_.insert("The bakery");
  EXPECT_EQ(note_.text(), "We met at the bakery and talked.");
  EXPECT_EQ(note_.lastAction(), "Added 2 words");
  // At the end after a full stop: a space, and the capital stays.
  window_->select = {static_cast<std::int64_t>(window_->text.size()), 0};
  note_.insert("Then we left.");
  EXPECT_EQ(note_.text(), "We met at the bakery and talked. Then we left.");
}

TEST_F(BrainstormNoteTest, TheLastActionCountsTheDictationsWords) {
  note_.insert("Hello.");
  EXPECT_EQ(note_.lastAction(), "Added 1 word");
  note_.insert("one two three four five six seven eight nine ten eleven twelve");
  EXPECT_EQ(note_.lastAction(), "Added 12 words");
  EXPECT_EQ(note_.wordCountLabel(), "13 words");
}

TEST_F(BrainstormNoteTest, ClearThenUndoBringsTheTextBack) {
  note_.insert("Keep this thought.");
  note_.clear();
  EXPECT_EQ(note_.text(), "");
  EXPECT_TRUE(note_.canUndo());
  note_.undo();
  EXPECT_EQ(note_.text(), "Keep this thought.");
}

TEST_F(BrainstormNoteTest, CopyTrimsClosesAndStartsANewSession) {
  note_.insert("First line.");
  window_->replace({0, 0}, "\n\n  ");
  window_->replace({static_cast<std::int64_t>(window_->text.size()), 0}, "\n\n");
  const auto session = note_.session();
  note_.copyAndClose();
  EXPECT_EQ(paster_.copied, (std::vector<std::string>{"First line."}));
  EXPECT_TRUE(paster_.pasted.empty());  // a copy restores nothing later
  EXPECT_EQ(note_.text(), "");
  EXPECT_FALSE(note_.isOpen());
  EXPECT_GT(note_.session(), session);
  loop_.advance(Seconds(5));
  EXPECT_TRUE(paster_.pasted.empty());
}

TEST_F(BrainstormNoteTest, CopyOfABlankNoteLeavesTheClipboardAlone) {
  note_.insert("  ");
  note_.copyAndClose();
  EXPECT_TRUE(paster_.copied.empty());
  EXPECT_FALSE(note_.isOpen());
}

TEST_F(BrainstormNoteTest, InsertBringsTheSourceBackAndPastesAQuarterSecondLater) {
  desktop_.front = mail_;
  note_.captureSource();
  EXPECT_EQ(note_.insertTitle(), "Insert in Thunderbird");
  note_.insert("Dear Sam, the draft is attached.");
  desktop_.front = std::nullopt;  // the note is in front now
  const auto session = note_.session();
  note_.insertIntoSource();
  EXPECT_EQ(desktop_.activated, (std::vector<std::string>{"Thunderbird"}));
  EXPECT_FALSE(note_.isOpen());
  EXPECT_GT(note_.session(), session);
  loop_.advance(Seconds(0.24));
  EXPECT_TRUE(paster_.pasted.empty());
  loop_.advance(Seconds(0.02));
  ASSERT_EQ(paster_.pasted.size(), 1u);
  EXPECT_EQ(paster_.pasted[0].first, "Dear Sam, the draft is attached.");
  EXPECT_EQ(paster_.pasted[0].second, PasteChord::ctrlV);
}

TEST_F(BrainstormNoteTest, InsertIntoATerminalUsesItsPasteKeys) {
  desktop_.front = SourceApp{"org.gnome.Terminal", "Terminal", 7};
  note_.captureSource();
  note_.insert("ls -la");
  note_.insertIntoSource();  // the terminal is active: nothing to bring back
  EXPECT_TRUE(desktop_.activated.empty());
  loop_.advance(Seconds(0.3));
  ASSERT_EQ(paster_.pasted.size(), 1u);
  EXPECT_EQ(paster_.pasted[0].second, PasteChord::ctrlShiftV);
}

TEST_F(BrainstormNoteTest, InsertOfABlankNoteDoesNothing) {
  desktop_.front = mail_;
  note_.captureSource();
  note_.insert(" \n ");
  const auto session = note_.session();
  note_.insertIntoSource();
  EXPECT_TRUE(note_.isOpen());
  EXPECT_EQ(note_.session(), session);
  loop_.advance(Seconds(1));
  EXPECT_TRUE(paster_.pasted.empty());
}

TEST_F(BrainstormNoteTest, ThePasteIsDroppedWhenTheNoteIsGone) {
  auto note = std::make_unique<BrainstormNote>(loop_, paster_, desktop_);
  note->insert("Words.");
  note->insertIntoSource();
  note.reset();
  loop_.advance(Seconds(1));
  EXPECT_TRUE(paster_.pasted.empty());
}

TEST_F(BrainstormNoteTest, TheSourceIsCapturedOnlyWhenOpeningAndNeverQuorvelItself) {
  desktop_.front = mail_;
  note_.captureSource();
  note_.show();
  desktop_.front = SourceApp{"firefox", "Firefox", 9};
  note_.captureSource();  // already open: kept
  EXPECT_EQ(note_.sourceName(), "Thunderbird");
  note_.close();
  desktop_.self = true;
  note_.captureSource();  // Quorvel in front: kept
  EXPECT_EQ(note_.sourceName(), "Thunderbird");
  desktop_.self = false;
  note_.captureSource();
  EXPECT_EQ(note_.sourceName(), "Firefox");
}

TEST_F(BrainstormNoteTest, ClosingClearsStopsListeningAndAdvancesTheSession) {
  note_.insert("Draft.");
  note_.setListening(true);
  EXPECT_TRUE(note_.isFocused());
  const auto session = note_.session();
  note_.close();
  EXPECT_FALSE(note_.listening());
  EXPECT_FALSE(note_.isOpen());
  EXPECT_EQ(note_.text(), "");
  EXPECT_EQ(note_.session(), session + 1);
  note_.clear();  // Clear alone keeps the session
  EXPECT_EQ(note_.session(), session + 1);
}

TEST_F(BrainstormNoteTest, TheViewShowsListeningOverTheLastActionAndOffersOnlyWhatWorks) {
  BrainstormNote::View view = note_.view();
  EXPECT_TRUE(view.empty);
  EXPECT_EQ(view.source, "");
  EXPECT_FALSE(view.statusShown);
  EXPECT_EQ(view.insertTitle, "");  // no source: no Insert
  EXPECT_FALSE(view.undoShown);

  note_.setContent("We met at the bakery.", "Added 5 words", mail_);
  view = note_.view();
  EXPECT_FALSE(view.empty);
  EXPECT_EQ(view.source, "Thunderbird");
  EXPECT_EQ(view.insertTitle, "Insert in Thunderbird");
  EXPECT_EQ(view.wordCount, "5 words");
  EXPECT_FALSE(view.listening);
  EXPECT_EQ(view.status, "Added 5 words");
  EXPECT_TRUE(view.statusShown);

  note_.setListening(true);
  view = note_.view();
  EXPECT_TRUE(view.listening);
  EXPECT_EQ(view.status, "Listening");
  EXPECT_TRUE(view.statusShown);
}

TEST(NoteCornerTest, TheTopRightCornerSitsTheInsetInsideTheUsableArea) {
  EXPECT_EQ(noteCorner(0, 0, 1920, 560, 28), (NoteCorner{1920 - 28 - 560, 28}));
  // A second screen to the right, below a top panel.
  EXPECT_EQ(noteCorner(1920, 32, 1280, 560, 28), (NoteCorner{1920 + 1280 - 28 - 560, 32 + 28}));
}

TEST(BrainstormNoteWithoutWindow, AppendsDictationsWithASpace) {
  FakeMainLoop loop;
  FakePaster paster;
  NoDesktop desktop;
  BrainstormNote note(loop, paster, desktop);
  note.insert("One.");
  note.insert("Two.");
  EXPECT_EQ(note.text(), "One. Two.");
  EXPECT_FALSE(note.isOpen());
  EXPECT_EQ(note.insertTitle(), "");
}

TEST_F(BrainstormNoteTest, TheCursorContextNeverSplitsACharacter) {
  note_.show();
  std::string long_text;
  for (int i = 0; i < 150; ++i) long_text += "😀";  // 300 UTF-16 units
  window_->replace({0, 0}, long_text);
  window_->select = {201, 0};  // inside the 101st emoji: a broken position
  note_.insert("word");
  EXPECT_EQ(note_.lastAction(), "Added 1 word");
  EXPECT_NE(note_.text().find("word"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
