// The dashboard's Home page: setup, how to dictate and the permissions, the
// last dictation with its word diff, and three readouts.
#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayoutItem>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <chrono>

#include "app/history/DayLabels.h"
#include "app/desktop/DictationKeys.h"
#include "app/models/SentOnline.h"
#include "app/history/StrikeDiff.h"
#include "ui/Brand.h"
#include "ui/DashboardPages.h"
#include "ui/DiffText.h"
#include "ui/Palette.h"

namespace quorvel::ui {
namespace {

QLabel* richLabel(const QString& html, double size, Ink ink, QWidget* parent) {
  auto* result = new QLabel(parent);
  result->setTextFormat(Qt::RichText);
  result->setText(html);
  result->setFont(Brand::sans(size, 400));
  result->setWordWrap(true);
  result->setTextInteractionFlags(Qt::TextSelectableByMouse);
  setInk(result, inkColor(ink));
  return result;
}

// Keeps a wrapped label to its first lines.
void limitLines(QLabel* target, int lines) {
  const QFontMetrics metrics(target->font());
  target->setMaximumHeight(metrics.lineSpacing() * lines + 2);
}

QWidget* row(QWidget* parent, QHBoxLayout*& layout, int spacing = 12) {
  auto* widget = new QWidget(parent);
  layout = new QHBoxLayout(widget);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(spacing);
  return widget;
}

// A round check mark in the accent colour.
class CheckMark final : public QWidget {
 public:
  explicit CheckMark(QWidget* parent) : QWidget(parent) { setFixedSize(30, 30); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::accent());
    painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    painter.setPen(QPen(Palette::onAccent(), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(9.5, 15.5), QPointF(13.5, 19.5), QPointF(21, 11)}));
  }
};

}  // namespace

HomePage::HomePage(DashboardModel& model, QWidget* parent) : DashboardPage(model, parent) {}

void HomePage::tick() {
  if (noteKeyCap_) noteKeyCap_->setPressed(model_.bridge().noteKeyPressed());
  if (altKey_) altKey_->setPressed(dictationKeyHeld(model_.bridge()));
  // The rest is read again twice a second, and drawn again only on a change.
  if (++ticks_ % 10 == 0 && dashboardHomeState(model_.bridge()) != shown_) rebuild();
}

void HomePage::rebuild() {
  clearBody();
  DashboardBridge& bridge = model_.bridge();
  shown_ = dashboardHomeState(bridge);
  QWidget* parent = widget();

  // 1. A pending update.
  if (const auto version = bridge.updateVersion()) {
    auto* banner = new Card(Card::Fill::soft, parent);
    auto* line = new QHBoxLayout(banner);
    line->setContentsMargins(20, 14, 14, 14);
    line->addWidget(label(qs(updateBannerText(*version)), 14.5, 550, Ink::ink, false, banner));
    line->addStretch(1);
    auto* update = new FlatButton(QStringLiteral("Update"), FlatButton::Kind::filled, banner);
    QObject::connect(update, &QAbstractButton::clicked, banner, [&bridge] {
      if (bridge.installUpdate) bridge.installUpdate();
    });
    line->addWidget(update);
    body()->addWidget(banner);
  }

  // 2. The model setup.
  if (const auto setup = setupPanel(bridge.setup())) {
    auto* panel = new Card(Card::Fill::panel, parent);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(24, 16, 24, 18);
    column->setSpacing(7);
    if (setup->kind == SetupPanel::Kind::finished) {
      QHBoxLayout* line = nullptr;
      QWidget* top = row(panel, line, 14);
      line->addWidget(new CheckMark(top), 0, Qt::AlignTop);
      auto* texts = new QVBoxLayout();
      texts->setSpacing(4);
      texts->addWidget(label(qs(setup->title), 17, 650, Ink::ink, false, top));
      texts->addWidget(label(qs(setup->detail), 14, 400, Ink::mute, true, top));
      line->addLayout(texts, 1);
      column->addWidget(top);
    } else {
      column->addWidget(monoLabel(qs(setup->eyebrow), 11.5, Ink::accent, panel));
      column->addWidget(label(qs(setup->title), 17, 650, Ink::ink, true, panel));
      if (setup->progress) {
        auto* progress = new ProgressLine(panel);
        progress->setFraction(*setup->progress);
        column->addSpacing(4);
        column->addWidget(progress);
        column->addSpacing(2);
      }
      column->addWidget(label(qs(setup->detail), 13.5, 400, setup->retry ? Ink::ink2 : Ink::mute, true, panel));
      if (setup->retry) {
        auto* retry = new FlatButton(QStringLiteral("Try Again"), FlatButton::Kind::solid, panel);
        QObject::connect(retry, &QAbstractButton::clicked, panel, [&bridge] {
          if (bridge.retrySetup) bridge.retrySetup();
        });
        column->addSpacing(4);
        column->addWidget(retry, 0, Qt::AlignLeft);
      }
    }
    body()->addWidget(panel);
  }

  // 3. How to dictate, the permissions, and the note.
  {
    auto* panel = new Card(Card::Fill::panel, parent);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(24, 20, 24, 16);
    column->setSpacing(10);
    QHBoxLayout* line = nullptr;
    QWidget* top = row(panel, line, 20);
    altKey_ = new KeyCap(qs(dictationKeyName()), true, top);
    altKey_->setPressed(dictationKeyHeld(bridge));
    line->addWidget(altKey_, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout();
    texts->setSpacing(6);
    texts->addWidget(label(QStringLiteral("Hold %1 and talk.").arg(qs(dictationKeyName())), 21, 650, Ink::ink, false, top));
    texts->addWidget(label(QStringLiteral("Let go, and Quorvel types clean, finished text wherever your cursor is. "
                                          "It all happens on this computer."),
                           14, 400, Ink::mute, true, top));
    texts->addStretch(1);
    line->addLayout(texts, 1);
    column->addWidget(top);

    const InputAccess access = bridge.inputAccess();
    const auto rows = permissionRows(bridge.micStatus(), bridge.trusted(), access);
    for (const PermissionRow& permission : rows) {
      auto* box = new Card(Card::Fill::recessed, panel, 10);
      auto* boxColumn = new QVBoxLayout(box);
      boxColumn->setContentsMargins(16, 6, 8, 6);
      boxColumn->setSpacing(4);
      QHBoxLayout* boxLine = nullptr;
      QWidget* head = row(box, boxLine, 10);
      boxLine->addWidget(new Dot(Palette::rec(), 8, head), 0, Qt::AlignVCenter);
      boxLine->addWidget(label(qs(permission.text), 14, 550, Ink::ink, true, head), 1);
      FlatButton* button = nullptr;
      if (!permission.button.empty()) {
        button = new FlatButton(qs(permission.button), FlatButton::Kind::solid, head);
        button->setHeight(30);
        boxLine->addWidget(button);
      }
      boxColumn->addWidget(head);
      QLabel* detail = nullptr;
      if (!permission.detail.empty()) {
        detail = label(qs(permission.detail), 12.5, 400, Ink::mute, true, box);
        detail->setContentsMargins(18, 0, 0, 2);
        detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
        boxColumn->addWidget(detail);
      }
      const PermissionRow::Kind kind = permission.kind;
      const MicStatus mic = bridge.micStatus();
      const std::string command = inputAccessCommand(access, uinputRuleFile());
      if (button != nullptr) QObject::connect(button, &QAbstractButton::clicked, box, [this, &bridge, kind, mic, command, detail, box] {
        if (kind == PermissionRow::Kind::microphone) {
          if (mic == MicStatus::notDetermined) {
            QPointer<QWidget> alive = box;
            if (bridge.requestMicrophone) bridge.requestMicrophone([this, alive](bool) {
              if (alive) rebuild();
            });
          } else if (!bridge.openSoundSettings || !bridge.openSoundSettings()) {
            if (detail != nullptr) {
              detail->setText(QStringLiteral("No sound settings program was found. Open your desktop's sound "
                                             "settings (or pavucontrol), pick a microphone as the input and unmute it."));
            }
          }
        } else if (kind == PermissionRow::Kind::keyboard) {
          if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(qs(command));
        } else if (kind == PermissionRow::Kind::typing) {
          if (bridge.allowTyping) bridge.allowTyping();
        } else if (bridge.enableAccessibility) {
          bridge.enableAccessibility();
        }
      });
      column->addWidget(box);
    }
    if (rows.empty()) {
      const StateRow state = stateRow(bridge.state(), bridge.status());
      QHBoxLayout* stateLine = nullptr;
      QWidget* stateWidget = row(panel, stateLine, 8);
      stateLine->addWidget(new Dot(toneColor(state.tone), 8, stateWidget), 0, Qt::AlignVCenter);
      QLabel* text = label(qs(state.text), 13.5, 550, Ink::ink, false, stateWidget);
      setInk(text, toneColor(state.tone));
      stateLine->addWidget(text);
      stateLine->addStretch(1);
      column->addWidget(stateWidget);
    }
    column->addWidget(hairline(panel));
    QHBoxLayout* tipLine = nullptr;
    QWidget* tip = row(panel, tipLine, 16);
    noteKeyCap_ = new KeyCap(qs(noteKeyName()), false, tip);
    noteKeyCap_->setPressed(bridge.noteKeyPressed());
    tipLine->addWidget(noteKeyCap_, 0, Qt::AlignVCenter);
    auto* tipTexts = new QVBoxLayout();
    tipTexts->setSpacing(3);
    tipTexts->addWidget(label(QStringLiteral("Tap %1 for a Brainstorm note.").arg(qs(noteKeyName())), 14.5, 600, Ink::ink, false, tip));
    tipTexts->addWidget(label(QStringLiteral("Talk into it with %1, edit it, then Insert or Copy it. "
                                             "Tap %2 again to close it.")
                                  .arg(qs(dictationKeyName()), qs(noteKeyName())),
                              13, 400, Ink::mute, true, tip));
    tipLine->addLayout(tipTexts, 1);
    column->addWidget(tip);
    body()->addWidget(panel);
  }

  // 4. The last dictation.
  {
    auto* panel = new Card(Card::Fill::panel, parent);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(24, 16, 20, 18);
    column->setSpacing(10);
    const auto now = std::chrono::system_clock::now();
    if (const DictationEntry* last = model_.lastDictation()) {
      const std::string said(saidText(last->raw, last->text));
      const bool cleaned = anyCut(strikeDiff(said, last->text));
      QHBoxLayout* line = nullptr;
      QWidget* head = row(panel, line, 10);
      line->addWidget(label(QStringLiteral("Last dictation · %1").arg(qs(whenLabel(last->date, now))), 13.5, 600,
                            Ink::ink2, false, head));
      QLabel* badge = label(cleaned ? QStringLiteral("Cleaned up") : QStringLiteral("Already clean"), 12, 550,
                            cleaned ? Ink::accent : Ink::mute, false, head);
      line->addWidget(badge);
      line->addStretch(1);
      const QString typed = qs(last->text);
      line->addWidget(new CopyButton([typed] { return typed; }, head));
      column->addWidget(head);

      auto* grid = new QGridLayout();
      grid->setHorizontalSpacing(18);
      grid->setVerticalSpacing(12);
      grid->setColumnMinimumWidth(0, 104);
      grid->setColumnStretch(1, 1);
      grid->addWidget(monoLabel(QStringLiteral("You said"), 11.5, Ink::mute, panel), 0, 0, Qt::AlignTop);
      QLabel* diff = richLabel(diffText(last->raw, last->text), 14.5, Ink::ink2, panel);
      limitLines(diff, 4);
      grid->addWidget(diff, 0, 1);
      grid->addWidget(monoLabel(QStringLiteral("Quorvel typed"), 11.5, Ink::mute, panel), 1, 0, Qt::AlignTop);
      QLabel* final = label(typed, 14.5, 450, Ink::ink, true, panel);
      final->setTextInteractionFlags(Qt::TextSelectableByMouse);
      limitLines(final, 5);
      grid->addWidget(final, 1, 1);
      column->addLayout(grid);
    } else {
      column->addWidget(label(QStringLiteral("Last dictation"), 13.5, 600, Ink::ink2, false, panel));
      column->addWidget(label(QStringLiteral("Your first dictation shows up here: what you said, and what Quorvel typed."),
                              14, 400, Ink::mute, true, panel));
    }
    body()->addWidget(panel);
  }

  // 5. Three readouts.
  {
    const Stats stats = model_.stats(std::chrono::system_clock::now());
    QHBoxLayout* line = nullptr;
    QWidget* readouts = row(parent, line, 16);
    auto readout = [&](const QString& title, const QString& value, const QString& unit) {
      auto* panel = new Card(Card::Fill::panel, readouts);
      auto* column = new QVBoxLayout(panel);
      column->setContentsMargins(20, 14, 20, 14);
      column->setSpacing(4);
      column->addWidget(label(title, 12.5, 500, Ink::mute, false, panel));
      QHBoxLayout* figure = nullptr;
      QWidget* figureRow = row(panel, figure, 6);
      QLabel* number = new QLabel(value, figureRow);
      number->setFont(Brand::mono(30, true));
      setInk(number, Palette::ink());
      figure->addWidget(number, 0, Qt::AlignBaseline);
      figure->addWidget(label(unit, 13, 500, Ink::mute, false, figureRow), 0, Qt::AlignBaseline);
      figure->addStretch(1);
      column->addWidget(figureRow);
      line->addWidget(panel, 1);
    };
    readout(QStringLiteral("Words today"), qs(groupedNumber(stats.today)), QStringLiteral("words"));
    readout(QStringLiteral("Time saved"), QString::number(stats.minutesSaved), QStringLiteral("min"));
    // What really left this machine (speech or text sent to a server elsewhere).
    const auto [sent, sentUnit] = SentOnline::readout(SentOnline::total());
    readout(QStringLiteral("Sent online"), qs(sent), qs(sentUnit));
    body()->addWidget(readouts);
  }
  body()->addStretch(1);
}

}  // namespace quorvel::ui
