#include "learning/CursorContextReader.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvel {
namespace {

// A field with a text, a selection and switchable failures; it records which
// ranges it was asked for.
struct FakeField {
  ElementRole role = ElementRole::textArea;
  ElementSubrole subrole = ElementSubrole::none;
  std::string roleName;  // the toolkit's name; the case name when empty
  SelectedRangeAnswer selection{SelectedRangeAnswer::Status::range, {0, 0}};
  std::u16string text;
  std::optional<std::int64_t> characters;  // reported character count; the text's length if unset
  bool rangesWork = true;
  bool valueWorks = true;
  std::vector<TextRange>* asked = nullptr;
};

class FakeElement : public AccessibleElement {
 public:
  explicit FakeElement(FakeField field) : field_(std::move(field)) {}
  ElementRole role() override { return field_.role; }
  ElementSubrole subrole() override { return field_.subrole; }
  std::string roleName() override {
    return field_.roleName.empty() ? AccessibleElement::roleName() : field_.roleName;
  }
  SelectedRangeAnswer selectedRange() override { return field_.selection; }
  std::optional<std::int64_t> numberOfCharacters() override {
    return field_.characters.value_or(static_cast<std::int64_t>(field_.text.size()));
  }
  std::optional<std::u16string> stringForRange(TextRange range) override {
    if (field_.asked) field_.asked->push_back(range);
    if (!field_.rangesWork) return std::nullopt;
    const auto size = static_cast<std::int64_t>(field_.text.size());
    if (range.location < 0 || range.location + range.length > size) return std::nullopt;
    return field_.text.substr(static_cast<size_t>(range.location), static_cast<size_t>(range.length));
  }
  std::optional<std::u16string> value() override {
    if (!field_.valueWorks) return std::nullopt;
    return field_.text;
  }

 private:
  FakeField field_;
};

class FakeDesktop : public AccessibilityDesktop {
 public:
  bool trusted = true;
  int errorCode = 0;
  std::optional<FakeField> field;
  std::optional<std::string> app = "org.gnome.TextEditor";

  bool isTrusted() override { return trusted; }
  FocusedElementAnswer focusedElement() override {
    FocusedElementAnswer answer;
    answer.errorCode = errorCode;
    if (field) answer.element = std::make_unique<FakeElement>(*field);
    return answer;
  }
  std::optional<std::string> frontmostApp() override { return app; }
};

FakeField fieldWith(std::u16string text, std::int64_t location, std::int64_t length = 0) {
  FakeField field;
  field.text = std::move(text);
  field.selection.range = {location, length};
  return field;
}

TEST(CursorContextReader, ReadsTheWindowsAroundTheCursorOrSelection) {
  struct Case {
    const char* name;
    FakeField field;
    std::int64_t maxBefore, maxAfter;
    std::string before, after;
  };
  const Case cases[] = {
      {"middle", fieldWith(u"Hello world", 5), 200, 1, "Hello", " "},
      {"at start", fieldWith(u"Hello", 0), 200, 1, "", "H"},
      {"at end", fieldWith(u"Hello", 5), 200, 1, "Hello", ""},
      {"limited before", fieldWith(u"abcdefgh", 6), 3, 10, "def", "gh"},
      {"selection excluded", fieldWith(u"one two three", 4, 3), 200, 100, "one ", " three"},
      {"count too small", [] {
         auto f = fieldWith(u"Hello world", 5);
         f.characters = 3;
         return f;
       }(), 200, 10, "Hello", ""},
      {"emoji cut at the window edge", fieldWith(u"a\U0001F600bc", 4), 2, 1, "b", "c"},
  };
  for (const auto& c : cases) {
    FakeDesktop desktop;
    desktop.field = c.field;
    auto context = CursorContextReader::read(desktop, c.maxBefore, c.maxAfter);
    ASSERT_TRUE(context) << c.name;
    EXPECT_EQ(context->before, c.before) << c.name;
    EXPECT_EQ(context->after, c.after) << c.name;
    EXPECT_EQ(context->app, "org.gnome.TextEditor");
  }
}

TEST(CursorContextReader, EmptyRangesAreNotAskedFor) {
  std::vector<TextRange> asked;
  FakeDesktop desktop;
  desktop.field = fieldWith(u"Hello", 0);
  desktop.field->asked = &asked;
  ASSERT_TRUE(CursorContextReader::read(desktop, 200, 0));
  EXPECT_TRUE(asked.empty());
}

TEST(CursorContextReader, FallsBackToTheWholeValue) {
  FakeDesktop desktop;
  desktop.field = fieldWith(u"one two three", 4, 3);
  desktop.field->rangesWork = false;
  auto context = CursorContextReader::read(desktop, 200, 100);
  ASSERT_TRUE(context);
  EXPECT_EQ(context->before, "one ");
  EXPECT_EQ(context->after, " three");

  // A value shorter than the reported cursor: before comes from its end.
  desktop.field = fieldWith(u"short", 50);
  desktop.field->rangesWork = false;
  context = CursorContextReader::read(desktop, 3, 1);
  ASSERT_TRUE(context);
  EXPECT_EQ(context->before, "ort");
  desktop.field = fieldWith(u"short", 7);
  desktop.field->rangesWork = false;
  context = CursorContextReader::read(desktop, 200, 1);
  ASSERT_TRUE(context);
  EXPECT_EQ(context->before, "short");
  EXPECT_EQ(context->after, "");
}

TEST(CursorContextReader, FailuresSayWhyAndSuccessKeepsTheOldText) {
  FakeDesktop desktop;
  desktop.trusted = false;
  EXPECT_FALSE(CursorContextReader::read(desktop));
  EXPECT_EQ(CursorContextReader::lastProblem(), "no Accessibility permission");

  desktop.trusted = true;
  desktop.errorCode = -25212;
  EXPECT_FALSE(CursorContextReader::read(desktop));
  EXPECT_EQ(CursorContextReader::lastProblem(), "no focused element (AXError -25212)");
  desktop.errorCode = 0;
  EXPECT_FALSE(CursorContextReader::read(desktop));
  EXPECT_EQ(CursorContextReader::lastProblem(), "no focused element (AXError 0)");

  desktop.field = fieldWith(u"secret", 3);
  desktop.field->subrole = ElementSubrole::secureTextField;
  EXPECT_FALSE(CursorContextReader::read(desktop));
  EXPECT_EQ(CursorContextReader::lastProblem(), "password field");

  desktop.field = fieldWith(u"x", 0);
  desktop.field->role = ElementRole::other;
  desktop.field->roleName = "document web";
  desktop.field->selection.status = SelectedRangeAnswer::Status::missing;
  desktop.app.reset();
  EXPECT_FALSE(CursorContextReader::read(desktop));
  EXPECT_EQ(CursorContextReader::lastProblem(), "no selection range on document web/ in ?");

  // A value that is not a range, or a negative location: nothing, problem kept.
  desktop.field->selection.status = SelectedRangeAnswer::Status::notARange;
  EXPECT_FALSE(CursorContextReader::read(desktop));
  desktop.field->selection = {SelectedRangeAnswer::Status::range, {-1, 0}};
  EXPECT_FALSE(CursorContextReader::read(desktop));
  EXPECT_EQ(CursorContextReader::lastProblem(), "no selection range on document web/ in ?");

  desktop.field = fieldWith(std::u16string(200001, u'a'), 10);
  desktop.field->rangesWork = false;
  EXPECT_FALSE(CursorContextReader::read(desktop));
  EXPECT_EQ(CursorContextReader::lastProblem(), "no value for textArea");

  desktop.field = fieldWith(u"fine", 2);
  EXPECT_TRUE(CursorContextReader::read(desktop));
  EXPECT_EQ(CursorContextReader::lastProblem(), "no value for textArea");
}

TEST(CursorContextReader, ClassifiesTheField) {
  struct Case {
    ElementRole role;
    ElementSubrole subrole;
    CursorContext::Kind kind;
  };
  const Case cases[] = {
      {ElementRole::textField, ElementSubrole::searchField, CursorContext::Kind::search},
      {ElementRole::other, ElementSubrole::searchField, CursorContext::Kind::search},
      {ElementRole::textField, ElementSubrole::none, CursorContext::Kind::singleLine},
      {ElementRole::comboBox, ElementSubrole::none, CursorContext::Kind::singleLine},
      {ElementRole::textArea, ElementSubrole::none, CursorContext::Kind::multiLine},
      {ElementRole::terminal, ElementSubrole::none, CursorContext::Kind::unknown},
      {ElementRole::other, ElementSubrole::none, CursorContext::Kind::unknown},
  };
  for (const auto& c : cases) {
    FakeDesktop desktop;
    desktop.field = fieldWith(u"text", 1);
    desktop.field->role = c.role;
    desktop.field->subrole = c.subrole;
    auto context = CursorContextReader::read(desktop);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->kind, c.kind)
        << elementRoleName(c.role) << "/" << elementSubroleName(c.subrole);
  }
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

TEST(CursorContextForModel, TerminalsShowNoTextAndOthersAreUnchanged) {
  const CursorContext terminal{"$ rm -rf build", "", CursorContext::Kind::multiLine,
                               "com.apple.Terminal"};
  EXPECT_EQ(terminal.forModel(),
            (CursorContext{"", "", CursorContext::Kind::multiLine, "com.apple.Terminal"}));
  const CursorContext konsole{"ls", "x", CursorContext::Kind::unknown, "org.kde.konsole"};
  EXPECT_EQ(konsole.forModel().before, "");
  const CursorContext editor{"Dear", " x", CursorContext::Kind::multiLine, "org.gnome.TextEditor"};
  EXPECT_EQ(editor.forModel(), editor);
  const CursorContext noApp{"Dear", "", CursorContext::Kind::singleLine, std::nullopt};
  EXPECT_EQ(noApp.forModel(), noApp);
  EXPECT_FALSE(isTerminalApp("com.apple.terminal"));  // exact comparison
}

}  // namespace
}  // namespace quorvel
