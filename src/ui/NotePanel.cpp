// The note's panel, editor, header and footer.
#include "ui/NotePanel.h"

#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QSizeGrip>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "app/desktop/DictationKeys.h"
#include "support/Settings.h"
#include "ui/Brand.h"
#include "ui/WindowSystem.h"
#include "ui/Palette.h"
#include "ui/UiKit.h"

namespace quorvel::ui {
namespace {

constexpr int kMinWidth = 420;
constexpr int kMinHeight = 280;
constexpr int kScreenInset = 28;
constexpr std::string_view kFrameKey = Settings::noteFrame.key;

QScreen* pointerScreen() {
  if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos())) return screen;
  if (QScreen* screen = QGuiApplication::primaryScreen()) return screen;
  const auto screens = QGuiApplication::screens();
  return screens.isEmpty() ? nullptr : screens.first();
}

QString hotkeyHint() { return QStringLiteral("Ctrl ↩"); }

}  // namespace

// The editor: plain text, undo, the brand face, accent cursor and selection.
class NoteEditor final : public QPlainTextEdit {
 public:
  explicit NoteEditor(QWidget* parent) : QPlainTextEdit(parent) {
    setFrameShape(QFrame::NoFrame);
    setBackgroundVisible(false);
    setUndoRedoEnabled(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setFont(Brand::sans(15.5, 400));
    setCursorWidth(2);
    document()->setDocumentMargin(4);
    setViewportMargins(14, 12, 14, 12);
    viewport()->setAutoFillBackground(false);
    setAccessibleName(QStringLiteral("Brainstorm note"));
    setTabChangesFocus(false);
  }
  void recolour() {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, Palette::ink());
    palette.setColor(QPalette::Base, Qt::transparent);
    QColor selection = Palette::accent();
    selection.setAlphaF(0.3);
    palette.setColor(QPalette::Highlight, selection);
    palette.setColor(QPalette::HighlightedText, Palette::ink());
    setPalette(palette);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPlainTextEdit::paintEvent(event);
    // The insertion point in the accent colour, over the default one.
    if (hasFocus() && !isReadOnly()) {
      QPainter painter(viewport());
      const QRect caret = cursorRect();
      painter.fillRect(QRect(caret.left(), caret.top(), 2, caret.height()), Palette::accent());
    }
  }
};

class NoteWidget final : public QWidget {
 public:
  explicit NoteWidget(BrainstormNote& note) : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), note_(note) {
    setWindowTitle(QStringLiteral("Brainstorm"));
    setAttribute(Qt::WA_TranslucentBackground, compositingActive());
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kNoteWidth, kNoteHeight);
    setFocusPolicy(Qt::StrongFocus);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(1, 1, 1, 1);
    column->setSpacing(0);

    // Header.
    auto* header = new QWidget(this);
    auto* top = new QHBoxLayout(header);
    top->setContentsMargins(18, 12, 10, 10);
    top->setSpacing(10);
    mark_ = new WordMark(13, header);
    title_ = label(QStringLiteral("Brainstorm"), 13, 500, Ink::mute, false, header);
    source_ = label(QString(), 12, 500, Ink::ink2, false, header);
    source_->setToolTip(QStringLiteral("Where Insert puts it"));
    listeningDot_ = new Dot(Palette::rec(), 7, header);
    status_ = label(QString(), 12.5, 500, Ink::mute, false, header);
    close_ = new IconButton(IconButton::Glyph::close, QStringLiteral("Close and clear (Esc or %1)").arg(qs(noteKeyName())), header);
    top->addWidget(mark_);
    top->addWidget(title_);
    top->addWidget(source_);
    top->addStretch(1);
    top->addWidget(listeningDot_);
    top->addWidget(status_);
    top->addWidget(close_);
    column->addWidget(header);
    column->addWidget(line_ = hairline(this));

    // Body: the editor and its placeholder.
    editor_ = new NoteEditor(this);
    placeholder_ = label(QStringLiteral("Hold %1 and talk. Your words land here.\n"
                                        "Edit, talk again to add more, then Insert or Copy.")
                                   .arg(qs(dictationKeyName())),
                         15.5, 400, Ink::mute, true, editor_->viewport());
    placeholder_->setAttribute(Qt::WA_TransparentForMouseEvents);
    placeholder_->move(5, 4);  // where the first line of text starts
    placeholder_->setFixedWidth(kNoteWidth - 60);
    column->addWidget(editor_, 1);

    // Footer.
    auto* footer = new QWidget(this);
    auto* bottom = new QHBoxLayout(footer);
    bottom->setContentsMargins(18, 10, 12, 12);
    bottom->setSpacing(6);
    count_ = monoLabel(QString(), 11.5, Ink::mute, footer);
    clear_ = new FlatButton(QStringLiteral("Clear"), FlatButton::Kind::plain, footer);
    undo_ = new FlatButton(QStringLiteral("Undo"), FlatButton::Kind::plain, footer);
    undo_->setToolTip(QStringLiteral("Undo (Ctrl+Z)"));
    copy_ = new FlatButton(QStringLiteral("Copy"), FlatButton::Kind::outline, footer);
    copy_->setToolTip(QStringLiteral("Copy and close (Ctrl+Shift+C)"));
    insert_ = new FlatButton(QString(), FlatButton::Kind::filled, footer);
    insert_->setHint(hotkeyHint());
    insert_->setToolTip(QStringLiteral("Put it where you were (Ctrl+Enter)"));
    bottom->addWidget(count_);
    bottom->addSpacing(6);
    bottom->addWidget(clear_);
    bottom->addWidget(undo_);
    bottom->addStretch(1);
    bottom->addWidget(copy_);
    bottom->addWidget(insert_);
    grip_ = new QSizeGrip(footer);
    grip_->setFixedSize(12, 12);
    bottom->addWidget(grip_, 0, Qt::AlignBottom | Qt::AlignRight);
    column->addWidget(footer);

    connect(close_, &QAbstractButton::clicked, this, [this] { note_.close(); });
    connect(clear_, &QAbstractButton::clicked, this, [this] { note_.clear(); });
    connect(undo_, &QAbstractButton::clicked, this, [this] { note_.undo(); });
    connect(copy_, &QAbstractButton::clicked, this, [this] { note_.copyAndClose(); });
    connect(insert_, &QAbstractButton::clicked, this, [this] { note_.insertIntoSource(); });
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
      note_.editorChanged(utf8(editor_->toPlainText()));
    });
    connect(editor_, &QPlainTextEdit::undoAvailable, this, [this](bool) { note_.refreshUndo(); refresh(); });

    auto shortcut = [this](const QKeySequence& keys, std::function<void()> action) {
      auto* item = new QShortcut(keys, this);
      item->setContext(Qt::WindowShortcut);
      connect(item, &QShortcut::activated, this, std::move(action));
    };
    shortcut(QKeySequence(Qt::Key_Escape), [this] { note_.close(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), [this] { note_.insertIntoSource(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Enter), [this] { note_.insertIntoSource(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), [this] {
      if (!note_.text().empty()) note_.copyAndClose();
    });

    saveLater_.setSingleShot(true);
    saveLater_.setInterval(400);
    connect(&saveLater_, &QTimer::timeout, this, [this] { saveFrame(kFrameKey, geometry()); });
    recolour();
    refresh();
  }

  NoteEditor* editor() const { return editor_; }
  bool remembersPlace = true;

  void recolour() {
    setStyleSheet(fieldStyleSheet());
    editor_->recolour();
    source_->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; border-radius: 7px; padding: 3px 9px; }")
                               .arg(Palette::accentSoft().name(), Palette::accent().name()));
    setInk(title_, Palette::mute());
    setInk(placeholder_, Palette::mute());
    setInk(count_, Palette::mute());
    line_->setPalette([&] {
      QPalette palette = line_->palette();
      palette.setColor(QPalette::Window, Palette::rule());
      return palette;
    }());
    listeningDot_->setColor(Palette::rec());
    update();
  }

  void refresh() {
    const BrainstormNote::View view = note_.view();
    source_->setText(qs(view.source));
    source_->setVisible(!view.source.empty());
    listeningDot_->setVisible(view.listening);
    status_->setText(qs(view.status));
    setInk(status_, view.listening ? Palette::rec() : Palette::mute());
    status_->setVisible(view.statusShown);
    placeholder_->setVisible(view.empty);
    count_->setText(qs(view.wordCount));
    clear_->setVisible(!view.empty);
    undo_->setVisible(view.undoShown);
    copy_->setEnabled(!view.empty);
    insert_->setText(qs(view.insertTitle));
    insert_->setVisible(!view.insertTitle.empty());
    insert_->setEnabled(!view.empty);
    insert_->updateGeometry();
  }

  void place() {
    if (auto frame = savedFrame(kFrameKey, {kMinWidth, kMinHeight}, {120, 80})) {
      setGeometry(*frame);
      return;
    }
    QScreen* screen = pointerScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    const NoteCorner corner = noteCorner(area.x(), area.y(), area.width(), width(), kScreenInset);
    move(corner.x, corner.y);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    paintPanel(painter, rect(), testAttribute(Qt::WA_TranslucentBackground) ? 14 : 0);
  }
  // The panel moves when dragged by its background.
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) return;
    dragFrom_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (dragFrom_ && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - *dragFrom_);
  }
  void mouseReleaseEvent(QMouseEvent*) override { dragFrom_.reset(); }
  void moveEvent(QMoveEvent*) override {
    if (isVisible() && remembersPlace) saveLater_.start();
  }
  void resizeEvent(QResizeEvent*) override {
    placeholder_->setFixedWidth(std::max(100, width() - 60));
    placeholder_->adjustSize();
    if (isVisible() && remembersPlace) saveLater_.start();
  }
  void hideEvent(QHideEvent*) override {
    if (saveLater_.isActive()) {
      saveLater_.stop();
      saveFrame(kFrameKey, geometry());
    }
  }
  void changeEvent(QEvent* event) override {
    if (event->type() == QEvent::ActivationChange) note_.refreshUndo();
    QWidget::changeEvent(event);
  }
  void closeEvent(QCloseEvent* event) override {
    // The window manager's close button acts like the note's own.
    event->ignore();
    note_.close();
  }

 private:
  BrainstormNote& note_;
  WordMark* mark_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* source_ = nullptr;
  Dot* listeningDot_ = nullptr;
  QLabel* status_ = nullptr;
  IconButton* close_ = nullptr;
  QWidget* line_ = nullptr;
  NoteEditor* editor_ = nullptr;
  QLabel* placeholder_ = nullptr;
  QLabel* count_ = nullptr;
  FlatButton* clear_ = nullptr;
  FlatButton* undo_ = nullptr;
  FlatButton* copy_ = nullptr;
  FlatButton* insert_ = nullptr;
  QSizeGrip* grip_ = nullptr;
  QTimer saveLater_;
  std::optional<QPoint> dragFrom_;
};

NotePanel::NotePanel(BrainstormNote& note) : widget_(std::make_unique<NoteWidget>(note)) {}

NotePanel::~NotePanel() = default;

void NotePanel::present() {
  if (!widget_->isVisible()) widget_->place();
  widget_->show();
  widget_->raise();
  widget_->activateWindow();
  widget_->editor()->setFocus();
}

void NotePanel::hide() { widget_->hide(); }

bool NotePanel::isVisible() const { return widget_->isVisible(); }

bool NotePanel::hasKeyboardFocus() const { return widget_->isActiveWindow(); }

std::u16string NotePanel::editorText() const {
  const QString text = widget_->editor()->toPlainText();
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

NoteRange NotePanel::selection() const {
  const QTextCursor cursor = widget_->editor()->textCursor();
  return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

void NotePanel::replace(NoteRange range, const std::string& text) {
  NoteEditor* editor = widget_->editor();
  QTextCursor cursor(editor->document());
  const int end = std::max(0, editor->document()->characterCount() - 1);
  const int from = static_cast<int>(std::clamp<std::int64_t>(range.location, 0, end));
  const int to = static_cast<int>(std::clamp<std::int64_t>(range.location + range.length, from, end));
  cursor.setPosition(from);
  cursor.setPosition(to, QTextCursor::KeepAnchor);
  cursor.insertText(qs(text));
  editor->setTextCursor(cursor);
  editor->ensureCursorVisible();
}

bool NotePanel::canUndo() const { return widget_->editor()->document()->isUndoAvailable(); }

void NotePanel::undo() { widget_->editor()->undo(); }

void NotePanel::refresh() { widget_->refresh(); }

QWidget* NotePanel::widget() const { return widget_.get(); }

void NotePanel::setRemembersPlace(bool remembers) { widget_->remembersPlace = remembers; }

BrainstormNote::WindowFactory notePanelFactory() {
  return [](BrainstormNote& note) { return std::make_unique<NotePanel>(note); };
}

}  // namespace quorvel::ui
