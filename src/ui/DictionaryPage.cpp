// The Dictionary page: the personal words, added, respelled and removed in
// place.
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>

#include "ui/Brand.h"
#include "ui/DashboardPages.h"
#include "ui/Palette.h"

namespace quorvel::ui {
namespace {

QLineEdit* field(const QString& placeholder, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setPlaceholderText(placeholder);
  edit->setFont(Brand::sans(14, 400));
  edit->setAccessibleName(placeholder);
  return edit;
}

}  // namespace

// --- DictionaryPage ------------------------------------------------------------------

DictionaryPage::DictionaryPage(DashboardModel& model, QWidget* parent) : DashboardPage(model, parent) {}

void DictionaryPage::rebuild() {
  const bool focused = add_ != nullptr && add_->hasFocus();
  clearBody();
  QLabel* count = monoLabel(QStringLiteral("%1 %2")
                                .arg(model_.words().size())
                                .arg(model_.words().size() == 1 ? QStringLiteral("word") : QStringLiteral("words")),
                            12, Ink::mute);
  addHeading(QStringLiteral("Dictionary"),
             QStringLiteral("Names and terms Quorvel spells your way. When you fix a name Quorvel got wrong, it's "
                            "added here by itself."),
             count);
  auto* addRow = new QWidget(widget());
  auto* addLine = new QHBoxLayout(addRow);
  addLine->setContentsMargins(0, 0, 0, 0);
  addLine->setSpacing(10);
  add_ = field(QStringLiteral("Add a name, product or term"), addRow);
  add_->setText(qs(model_.newWord));
  auto* addButton = new FlatButton(QStringLiteral("Add"), FlatButton::Kind::solid, addRow);
  addButton->setHeight(36);
  addLine->addWidget(add_, 1);
  addLine->addWidget(addButton);
  auto submit = [this] {
    model_.newWord = utf8(add_->text());
    model_.addWord();  // the model redraws the page when something was added
  };
  QObject::connect(add_, &QLineEdit::textEdited, this, [this](const QString& text) { model_.newWord = utf8(text); });
  QObject::connect(add_, &QLineEdit::returnPressed, this, submit);
  QObject::connect(addButton, &QAbstractButton::clicked, this, submit);
  body()->addWidget(addRow);
  if (focused) add_->setFocus();

  list_ = addList(0);
  if (limit_ == 0) limit_ = kRowsPerStep;
  rebuildList();
}

void DictionaryPage::rebuildList() {
  auto* column = static_cast<QVBoxLayout*>(list_->layout());
  clearLayout(column);
  const auto& words = model_.words();
  if (words.empty()) {
    column->addWidget(label(QStringLiteral("No words yet. Add a name above, or fix one Quorvel got wrong and it "
                                           "shows up here."),
                            14, 400, Ink::mute, true, list_));
    return;
  }
  auto* panel = new Card(Card::Fill::panel, list_);
  auto* rows = new QVBoxLayout(panel);
  rows->setContentsMargins(0, 4, 0, 4);
  rows->setSpacing(0);
  const int shown = std::min<int>(limit_, static_cast<int>(words.size()));
  for (int i = 0; i < shown; ++i) {
    const std::string word = words[static_cast<size_t>(i)];
    if (i > 0) rows->addWidget(hairline(panel));
    auto* item = new QWidget(panel);
    auto* line = new QHBoxLayout(item);
    line->setContentsMargins(20, 8, 12, 8);
    line->setSpacing(8);
    if (model_.editing && *model_.editing == word) {
      QLineEdit* edit = field(QStringLiteral("Spell it the way Quorvel should write it"), item);
      edit->setText(qs(model_.editText));
      auto* save = new FlatButton(QStringLiteral("Save"), FlatButton::Kind::solid, item);
      auto* cancel = new FlatButton(QStringLiteral("Cancel"), FlatButton::Kind::plain, item);
      line->addWidget(edit, 1);
      line->addWidget(save);
      line->addWidget(cancel);
      auto commit = [this, edit] {
        model_.editText = utf8(edit->text());
        model_.saveEdit();
      };
      QObject::connect(edit, &QLineEdit::returnPressed, this, commit);
      QObject::connect(save, &QAbstractButton::clicked, this, commit);
      QObject::connect(cancel, &QAbstractButton::clicked, this, [this] {
        model_.cancelEdit();
        rebuildList();
      });
      auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), edit);
      escape->setContext(Qt::WidgetShortcut);
      QObject::connect(escape, &QShortcut::activated, this, [this] {
        model_.cancelEdit();
        QTimer::singleShot(0, this, [this] { rebuildList(); });
      });
      QTimer::singleShot(0, edit, [edit] {
        edit->setFocus();
        edit->selectAll();
      });
    } else {
      line->addWidget(label(qs(word), 14.5, 500, Ink::ink, false, item), 1);
      auto* pencil = new IconButton(IconButton::Glyph::pencil, QStringLiteral("Edit the spelling"), item);
      auto* remove = new IconButton(IconButton::Glyph::remove, QStringLiteral("Remove"), item);
      line->addWidget(pencil);
      line->addWidget(remove);
      QObject::connect(pencil, &QAbstractButton::clicked, this, [this, word] {
        model_.startEdit(word);
        QTimer::singleShot(0, this, [this] { rebuildList(); });
      });
      QObject::connect(remove, &QAbstractButton::clicked, this, [this, word] {
        QTimer::singleShot(0, this, [this, word] { model_.removeWord(word); });
      });
    }
    rows->addWidget(item);
  }
  column->addWidget(panel);
  addShowMore(column, shown, static_cast<int>(words.size()), limit_, [this] { rebuildList(); });
}

}  // namespace quorvel::ui
