// The note's panel on the real editor (offscreen): fitting at the editor's
// cursor, clear and undo through the editor's own undo, the place on screen
// and its memory, a megabyte of text.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextCursor>

#include "FakeMainLoop.h"
#include "OffscreenApp.h"
#include "TestSupport.h"
#include "app/note/BrainstormNote.h"
#include "ui/NotePanel.h"

namespace quorvel::ui {
namespace {

using quorvel::testing::FakeMainLoop;

class RecordingPaster final : public Paster {
 public:
  bool paste(const std::string& text, PasteChord) override {
    pasted.push_back(text);
    return true;
  }
  bool copy(const std::string& text) override {
    copied.push_back(text);
    return true;
  }
  std::vector<std::string> pasted, copied;
};

class NotePanelTest : public ::testing::Test {
 protected:
  void SetUp() override { quorvel::testing::offscreenApp(); }

  quorvel::testing::TempDir config_;
  quorvel::testing::ScopedEnv xdg_{"XDG_CONFIG_HOME", config_.path().string()};
  FakeMainLoop loop_;
  RecordingPaster paster_;
  NoDesktop desktop_;
  BrainstormNote note_{loop_, paster_, desktop_, notePanelFactory()};

  NotePanel& panel() { return *static_cast<NotePanel*>(note_.window()); }
  QPlainTextEdit* editor() { return panel().widget()->findChild<QPlainTextEdit*>(); }
};

TEST_F(NotePanelTest, DictationsLandAtTheEditorsCursorFitted) {
  note_.insert("We met at the cafe.");
  ASSERT_NE(editor(), nullptr);
  QTextCursor cursor = editor()->textCursor();
  cursor.setPosition(10);
  cursor.setPosition(18, QTextCursor::KeepAnchor);  // "the cafe"
  editor()->setTextCursor(cursor);
  note_.insert("The bakery");
  EXPECT_EQ(note_.text(), "We met at the bakery.");
  EXPECT_EQ(editor()->toPlainText().toStdString(), "We met at the bakery.");
  EXPECT_EQ(editor()->textCursor().position(), 20);
}

TEST_F(NotePanelTest, ClearThenUndoBringsTheTextBack) {
  note_.insert("Keep this thought.");
  note_.clear();
  EXPECT_EQ(editor()->toPlainText(), QString());
  EXPECT_TRUE(note_.canUndo());
  note_.undo();
  EXPECT_EQ(note_.text(), "Keep this thought.");
}

TEST_F(NotePanelTest, ClosingKeepsThePanelForTheNextTime) {
  note_.insert("Draft.");
  NoteWindow* first = note_.window();
  note_.close();
  EXPECT_FALSE(note_.isOpen());
  note_.show();
  EXPECT_EQ(note_.window(), first);
  EXPECT_EQ(editor()->toPlainText(), QString());
}

TEST_F(NotePanelTest, OpensInTheTopRightCornerThenWhereTheUserLeftIt) {
  note_.show();
  QWidget* window = panel().widget();
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(window->geometry().right(), area.right() - 28);
  EXPECT_EQ(window->geometry().top(), area.top() + 28);
  window->move(area.left() + 40, area.top() + 50);
  note_.close();  // hiding stores the place
  note_.show();
  EXPECT_EQ(window->pos(), QPoint(area.left() + 40, area.top() + 50));
}

TEST_F(NotePanelTest, AMegabyteOfTextStaysWhole) {
  std::string big;
  while (big.size() < (1u << 20)) big += "lorem ipsum dolor sit amet ";
  note_.insert(big);
  EXPECT_GE(note_.text().size(), big.size() - 1);
  note_.insert("end.");
  note_.copyAndClose();
  ASSERT_EQ(paster_.copied.size(), 1u);
  EXPECT_GT(paster_.copied[0].size(), big.size() - 2);
}

}  // namespace
}  // namespace quorvel::ui
