// The History page: every dictation, newest first, grouped by day, with a
// search over the typed text; a click opens a row to show what was said.
#include <QEnterEvent>
#include <QPainter>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <chrono>

#include "app/history/DayLabels.h"
#include "ui/Brand.h"
#include "ui/DashboardPages.h"
#include "ui/DiffText.h"
#include "ui/Palette.h"

namespace quorvel::ui {
namespace {

// One dictation: its time and typed text; open, also what was said. The copy
// button shows while the pointer is over the row.
class HistoryRow final : public QWidget {
 public:
  HistoryRow(const DictationEntry& entry, bool open, std::function<void()> toggle, QWidget* parent)
      : QWidget(parent), toggle_(std::move(toggle)) {
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(18, 12, 14, 12);
    line->setSpacing(16);
    QLabel* time = monoLabel(qs(shortTime(entry.date)), 12, Ink::mute, this);
    time->setFixedWidth(72);
    line->addWidget(time, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout();
    texts->setSpacing(8);
    QLabel* typed = entry.text.empty() ? label(QStringLiteral("(nothing heard)"), 14, 400, Ink::mute, false, this)
                                       : label(qs(entry.text), 14, 400, Ink::ink, true, this);
    if (!open) {
      typed->setMaximumHeight(QFontMetrics(typed->font()).lineSpacing() * 2 + 2);
    } else {
      typed->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    texts->addWidget(typed);
    if (open) {
      auto* said = new QHBoxLayout();
      said->setSpacing(12);
      said->addWidget(monoLabel(QStringLiteral("You said"), 11.5, Ink::mute, this), 0, Qt::AlignTop);
      auto* diff = new QLabel(this);
      diff->setTextFormat(Qt::RichText);
      diff->setText(diffText(entry.raw, entry.text));
      diff->setFont(typed->font());
      diff->setWordWrap(true);
      diff->setTextInteractionFlags(Qt::TextSelectableByMouse);
      setInk(diff, Palette::ink2());
      said->addWidget(diff, 1);
      texts->addLayout(said);
    }
    line->addLayout(texts, 1);
    const QString text = qs(entry.text);
    copy_ = new CopyButton([text] { return text; }, this);
    copy_->setVisible(false);
    copy_->setEnabled(!entry.text.empty());
    line->addWidget(copy_, 0, Qt::AlignTop);
    // Room for the button, so the text does not move when it appears.
    line->setStretch(1, 1);
    setMinimumHeight(44);
  }

 protected:
  void enterEvent(QEnterEvent*) override {
    copy_->setVisible(true);
    hover_ = true;
    update();
  }
  void leaveEvent(QEvent*) override {
    copy_->setVisible(false);
    hover_ = false;
    update();
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && toggle_) toggle_();
  }
  void paintEvent(QPaintEvent*) override {
    if (!hover_) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::recessed());
    painter.drawRoundedRect(QRectF(rect()).adjusted(4, 2, -4, -2), 8, 8);
  }

 private:
  std::function<void()> toggle_;
  CopyButton* copy_ = nullptr;
  bool hover_ = false;
};

}  // namespace

HistoryPage::HistoryPage(DashboardModel& model, QWidget* parent) : DashboardPage(model, parent) {
  searchLater_.setSingleShot(true);
  searchLater_.setInterval(90);
  QObject::connect(&searchLater_, &QTimer::timeout, this, [this] {
    limit_ = kRowsPerStep;
    rebuildList();
  });
}

void HistoryPage::rebuild() {
  const QString query = search_ != nullptr ? search_->text() : QString();
  const bool focused = search_ != nullptr && search_->hasFocus();
  clearBody();
  addHeading(QStringLiteral("History"),
             QStringLiteral("Everything you've dictated, kept only on this computer. Click a line to see what you said."));
  search_ = new QLineEdit(widget());
  search_->setPlaceholderText(QStringLiteral("Search"));
  search_->setClearButtonEnabled(true);
  search_->setFont(Brand::sans(14, 400));
  search_->setText(query);
  search_->setAccessibleName(QStringLiteral("Search"));
  QObject::connect(search_, &QLineEdit::textChanged, this, [this] { searchLater_.start(); });
  body()->addWidget(search_);
  if (focused) search_->setFocus();
  list_ = addList(4);
  if (limit_ == 0) limit_ = kRowsPerStep;
  rebuildList();
}

void HistoryPage::rebuildList() {
  if (list_ == nullptr) return;
  auto* column = static_cast<QVBoxLayout*>(list_->layout());
  clearLayout(column);
  const std::string query = search_ != nullptr ? utf8(search_->text()) : std::string();
  if (model_.entries().empty()) {
    column->addWidget(label(QStringLiteral("No dictations yet."), 14, 400, Ink::mute, false, list_));
    return;
  }
  const auto days = model_.history(query, std::chrono::system_clock::now());
  if (days.empty()) {
    column->addWidget(label(QStringLiteral("Nothing matches “%1”").arg(qs(query)), 14, 400, Ink::mute, true, list_));
    return;
  }
  int shown = 0;
  int total = 0;
  for (const HistoryDay& day : days) total += static_cast<int>(day.entries.size());
  for (const HistoryDay& day : days) {
    if (shown >= limit_) break;
    QLabel* title = label(qs(day.title), 13, 650, Ink::ink2, false, list_);
    title->setContentsMargins(4, 8, 0, 0);
    column->addWidget(title);
    auto* panel = new Card(Card::Fill::panel, list_);
    auto* rows = new QVBoxLayout(panel);
    rows->setContentsMargins(0, 4, 0, 4);
    rows->setSpacing(0);
    bool first = true;
    for (const DictationEntry* entry : day.entries) {
      if (shown >= limit_) break;
      if (!first) {
        QWidget* line = hairline(panel);
        line->setContentsMargins(18, 0, 18, 0);
        rows->addWidget(line);
      }
      first = false;
      const qint64 id = entry->id;
      rows->addWidget(new HistoryRow(*entry, open_.contains(id),
                                     [this, id] {
                                       if (!open_.remove(id)) open_.insert(id);
                                       // Drawn again after this click has been handled.
                                       QTimer::singleShot(0, this, [this] { rebuildList(); });
                                     },
                                     panel));
      ++shown;
    }
    column->addWidget(panel);
  }
  addShowMore(column, shown, total, limit_, [this] { rebuildList(); });
}

}  // namespace quorvel::ui
