// The dashboard window, its title strip and tabs, and its snapshots.
#include "ui/DashboardWindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <cstdlib>

#include "support/Settings.h"
#include "ui/Brand.h"
#include "ui/DashboardPages.h"
#include "ui/Palette.h"
#include "ui/UiKit.h"

namespace quorvel::ui {
namespace {

constexpr std::string_view kFrameKey = Settings::dashboardFrame.key;

// One tab of the segmented control.
class TabButton final : public QAbstractButton {
 public:
  TabButton(const QString& title, QWidget* parent) : QAbstractButton(parent) {
    setText(title);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFont(Brand::sans(13.5, 550));
    setAccessibleName(title);
  }
  QSize sizeHint() const override { return {QFontMetrics(font()).horizontalAdvance(text()) + 32, 30}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isChecked()) {
      painter.setPen(QPen(Palette::rule(), 1));
      painter.setBrush(Palette::panel());
      painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
    painter.setPen(isChecked() ? Palette::ink() : (underMouse() ? Palette::ink2() : Palette::mute()));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
  }
};

// The tabs on a recessed track.
class TabBar final : public QWidget {
 public:
  explicit TabBar(QWidget* parent) : QWidget(parent) {
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(3, 3, 3, 3);
    line->setSpacing(2);
    group_.setExclusive(true);
    for (Page page : allPages) {
      const std::string_view title = pageTitle(page);
      auto* tab = new TabButton(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())), this);
      group_.addButton(tab, static_cast<int>(page));
      line->addWidget(tab);
    }
  }
  QButtonGroup& group() { return group_; }
  void select(Page page) {
    if (QAbstractButton* tab = group_.button(static_cast<int>(page))) tab->setChecked(true);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::recessed());
    painter.drawRoundedRect(QRectF(rect()), 10, 10);
  }

 private:
  QButtonGroup group_;
};

}  // namespace

// The window: title strip, tabs and the pages.
class DashboardWindow final : public QWidget {
 public:
  explicit DashboardWindow(DashboardModel& model) : QWidget(nullptr, Qt::Window), model_(model) {
    setWindowTitle(QStringLiteral("Quorvel"));
    setMinimumSize(900, 600);
    resize(kDashboardWidth, kDashboardHeight);
    setAutoFillBackground(false);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* strip = new QWidget(this);
    auto* grid = new QGridLayout(strip);
    grid->setContentsMargins(28, 16, 28, 12);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    auto* left = new QHBoxLayout();
    left->setSpacing(14);
    left->addWidget(new WordMark(16, strip));
    statusDot_ = new Dot(Palette::mute(), 7, strip);
    statusText_ = label(QString(), 12.5, 500, Ink::mute, false, strip);
    left->addWidget(statusDot_);
    left->addWidget(statusText_);
    left->addStretch(1);
    grid->addLayout(left, 0, 0);
    tabs_ = new TabBar(strip);
    grid->addWidget(tabs_, 0, 1, Qt::AlignCenter);
    column->addWidget(strip);

    pages_ = new QStackedWidget(this);
    home_ = new HomePage(model_, pages_);
    history_ = new HistoryPage(model_, pages_);
    dictionary_ = new DictionaryPage(model_, pages_);
    settings_ = new SettingsPage(model_, pages_);
    for (DashboardPage* page : {static_cast<DashboardPage*>(home_), static_cast<DashboardPage*>(history_),
                                static_cast<DashboardPage*>(dictionary_), static_cast<DashboardPage*>(settings_)}) {
      pages_->addWidget(page);
    }
    column->addWidget(pages_, 1);

    QObject::connect(&tabs_->group(), &QButtonGroup::idClicked, this, [this](int id) {
      model_.page = allPages[static_cast<size_t>(std::clamp(id, 0, 3))];
      showPage();
    });
    model_.onChange = [this] { rebuild(); };

    tick_.setInterval(50);
    QObject::connect(&tick_, &QTimer::timeout, this, [this] {
      current()->tick();
      updateStatus();
    });
    rebuild();
  }

  ~DashboardWindow() override { model_.onChange = nullptr; }

  bool rememberFrame = true;  // off for pictures: they never touch the user's settings

  DashboardPage* current() const { return static_cast<DashboardPage*>(pages_->currentWidget()); }

  void showPage() {
    tabs_->select(model_.page);
    DashboardPage* page = static_cast<DashboardPage*>(pages_->widget(static_cast<int>(model_.page)));
    pages_->setCurrentWidget(page);
    page->rebuild();
    page->verticalScrollBar()->setValue(0);
  }

  // Draws everything again in the colours and data in effect.
  void rebuild() {
    drawnIn_ = appearanceInEffect();
    setStyleSheet(fieldStyleSheet());
    tabs_->select(model_.page);
    pages_->setCurrentIndex(static_cast<int>(model_.page));
    current()->rebuild();
    updateStatus();
    update();
  }

  void updateStatus() {
    const TitleStatus title = titleStatus(model_.bridge().status());
    statusDot_->setVisible(title.shown);
    statusText_->setVisible(title.shown);
    if (!title.shown) return;
    statusDot_->setColor(title.alert ? Palette::rec() : Palette::mute());
    statusText_->setText(qs(title.text));
    setInk(statusText_, title.alert ? Palette::ink() : Palette::mute());
  }

  void place() {
    if (auto frame = savedFrame(kFrameKey, {900, 600}, {200, 120})) {
      setGeometry(*frame);
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      resize(std::min(kDashboardWidth, area.width()), std::min(kDashboardHeight, area.height()));
      move(area.center() - rect().center());
    }
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Palette::canvas());
    // The desktop switched between light and dark: draw again in the new colours.
    if (drawnIn_ != appearanceInEffect()) QTimer::singleShot(0, this, [this] { rebuild(); });
  }
  void showEvent(QShowEvent*) override { tick_.start(); }
  void hideEvent(QHideEvent*) override {
    tick_.stop();
    if (!rememberFrame) return;
    saveFrame(kFrameKey, geometry());
  }
  void changeEvent(QEvent* event) override {
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible()) model_.reload();
    QWidget::changeEvent(event);
  }

 private:
  DashboardModel& model_;
  Appearance drawnIn_ = Appearance::light;
  TabBar* tabs_ = nullptr;
  Dot* statusDot_ = nullptr;
  QLabel* statusText_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  HomePage* home_ = nullptr;
  HistoryPage* history_ = nullptr;
  DictionaryPage* dictionary_ = nullptr;
  SettingsPage* settings_ = nullptr;
  QTimer tick_;
};

DashboardController::DashboardController(SharedBridge bridge, MainLoop& loop, DashboardSources sources)
    : model_(std::make_unique<DashboardModel>(std::move(bridge), loop, std::move(sources))) {}

DashboardController::~DashboardController() {
  window_.reset();
  model_.reset();
}

void DashboardController::show(std::optional<Page> page) {
  if (page) model_->page = *page;
  if (!window_) {
    window_ = std::make_unique<DashboardWindow>(*model_);
    window_->place();
  }
  model_->reload();
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void DashboardController::reload() {
  if (window_ && window_->isVisible()) model_->reload();
}

bool DashboardController::isVisible() const { return window_ && window_->isVisible(); }

void DashboardController::close() {
  if (window_) window_->hide();
}

int DashboardController::snapshots(const std::filesystem::path& folder, SharedBridge bridge, bool dark,
                                   MainLoop& loop) {
  setAppearance(dark ? Appearance::dark : Appearance::light);
  DashboardModel model(std::move(bridge), loop);
  int height = kDashboardHeight;
  if (const char* value = std::getenv("SNAPSHOT_HEIGHT")) {
    char* end = nullptr;
    const double parsed = std::strtod(value, &end);
    if (end != value && std::isfinite(parsed) && parsed >= 1 && parsed <= 20000) height = static_cast<int>(parsed);
  }
  std::optional<std::string> only;
  if (const char* value = std::getenv("SNAPSHOT_PAGE")) only = value;
  int written = 0;
  for (Page page : allPages) {
    std::string name(pageTitle(page));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (only && *only != name) continue;
    model.page = page;
    DashboardWindow window(model);
    window.rememberFrame = false;
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.setMinimumSize(1, 1);
    window.resize(kDashboardWidth, height);
    window.show();
    window.rebuild();
    runEventsFor(500);
    const std::string file = "window-" + name + (dark ? "-dark" : "") + ".png";
    if (writeSnapshot(window, (folder / file).string())) ++written;
    window.hide();
  }
  return written;
}

}  // namespace quorvel::ui
