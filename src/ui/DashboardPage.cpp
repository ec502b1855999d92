// The frame every dashboard page shares: a scrolling canvas with a centred
// column, a heading with its explanation, and the body the page fills.
#include <QHBoxLayout>
#include <QLayoutItem>
#include <QResizeEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/Brand.h"
#include "ui/DashboardPages.h"
#include "ui/Palette.h"
#include "ui/UiKit.h"

namespace quorvel::ui {
namespace {

constexpr int kColumnWidth = 760;

}  // namespace

void clearLayout(QLayout* layout) {
  while (QLayoutItem* item = layout->takeAt(0)) {
    if (QWidget* widget = item->widget()) {
      widget->hide();
      widget->deleteLater();
    }
    if (QLayout* inner = item->layout()) clearLayout(inner);
    delete item;
  }
}

DashboardPage::DashboardPage(DashboardModel& model, QWidget* parent) : QScrollArea(parent), model_(model) {
  setWidgetResizable(true);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* canvas = new QWidget(this);
  canvas->setAutoFillBackground(false);
  auto* centre = new QHBoxLayout(canvas);
  centre->setContentsMargins(32, 4, 32, 32);
  column_ = new QWidget(canvas);
  column_->setMaximumWidth(kColumnWidth);
  body_ = new QVBoxLayout(column_);
  body_->setContentsMargins(0, 0, 0, 0);
  body_->setSpacing(14);
  // The column takes up to its width and stays centred in a wider window.
  centre->addStretch(1);
  centre->addWidget(column_, 1000);
  centre->addStretch(1);
  setWidget(canvas);
  canvas->setAutoFillBackground(false);  // setWidget turned it on; the window's canvas shows through
  viewport()->setAutoFillBackground(false);
}

void DashboardPage::clearBody() {
  clearLayout(body_);
  // Once the page is drawn again (after the rebuild that called this).
  QTimer::singleShot(0, this, [this] { fitCanvas(); });
}

void DashboardPage::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  fitCanvas();
}

void DashboardPage::fitCanvas() {
  QWidget* canvas = widget();
  if (canvas == nullptr || canvas->layout() == nullptr) return;
  const int needed = canvas->layout()->heightForWidth(viewport()->width());
  canvas->setMinimumHeight(std::max(0, needed));
}

QWidget* DashboardPage::addList(int topMargin) {
  auto* list = new QWidget(column_);
  auto* rows = new QVBoxLayout(list);
  rows->setContentsMargins(0, topMargin, 0, 0);
  rows->setSpacing(10);
  body_->addWidget(list);
  body_->addStretch(1);
  return list;
}

void DashboardPage::addShowMore(QVBoxLayout* column, int shown, int total, int& limit,
                                std::function<void()> redraw) {
  if (shown >= total) return;
  auto* more = new FlatButton(QStringLiteral("Show more (%1 of %2 shown)").arg(shown).arg(total),
                              FlatButton::Kind::outline, column->parentWidget());
  QObject::connect(more, &QAbstractButton::clicked, this, [this, &limit, redraw = std::move(redraw)] {
    limit += kRowsPerStep;
    QTimer::singleShot(0, this, redraw);
  });
  column->addWidget(more, 0, Qt::AlignHCenter);
}

void DashboardPage::addHeading(const QString& title, const QString& text, QWidget* accessory) {
  auto* top = new QWidget(column_);
  auto* line = new QHBoxLayout(top);
  line->setContentsMargins(0, 0, 0, 0);
  line->setSpacing(12);
  line->addWidget(label(title, 26, 650, Ink::ink, false, top));
  line->addStretch(1);
  if (accessory != nullptr) line->addWidget(accessory, 0, Qt::AlignBottom);
  body_->addWidget(top);
  QLabel* explanation = label(text, 14, 400, Ink::mute, true, column_);
  body_->addWidget(explanation);
  body_->addSpacing(4);
}

}  // namespace quorvel::ui
