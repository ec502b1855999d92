// Gives the status tag's rules a frameless, click-through, focus-less window.
#include "ui/TagWindow.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

#include "ui/WindowSystem.h"

namespace quorvel {

namespace {

QRect toQRect(const tag::Rect& r) {
  return QRect(static_cast<int>(std::lround(r.x)), static_cast<int>(std::lround(r.y)),
               static_cast<int>(std::ceil(r.width)), static_cast<int>(std::ceil(r.height)));
}

tag::Rect fromQRect(const QRect& r) {
  return {static_cast<double>(r.x()), static_cast<double>(r.y()), static_cast<double>(r.width()),
          static_cast<double>(r.height())};
}

}  // namespace

TagWindow::TagWindow(MainLoop& loop, std::function<bool()> tagTop) {
  // The rules own the content; the view draws it.
  rules_ = std::make_unique<StatusTag>(loop, static_cast<TagSurface&>(*this), TagWidget::measures(), std::move(tagTop));
  view_ = std::make_unique<TagWidget>(rules_->content());

  view_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                        Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                        Qt::NoDropShadowWindowHint);
  view_->setAttribute(Qt::WA_ShowWithoutActivating);
  view_->setAttribute(Qt::WA_TransparentForMouseEvents);
  view_->setFocusPolicy(Qt::NoFocus);
  view_->setWindowTitle("Quorvel");
  view_->resize(static_cast<int>(std::ceil(tag::kRecordingWidth)), static_cast<int>(tag::kHeight));

  geometry_.setTargetObject(view_.get());
  geometry_.setPropertyName("geometry");
  opacity_.setTargetObject(view_.get());
  opacity_.setPropertyName("windowOpacity");
  watchScreens();
}

TagWindow::~TagWindow() {
  for (const auto& connection : screenWatch_) QObject::disconnect(connection);
  QObject::disconnect(fadeDone_);
  geometry_.stop();
  opacity_.stop();
  rules_.reset();  // its timers go before the window they draw on
}

void TagWindow::show(TagMode mode, const std::string& text) { rules_->show(mode, text); }
void TagWindow::setPreview(const std::string& text) { rules_->setPreview(text); }
void TagWindow::hide(double afterSeconds) { rules_->hide(afterSeconds); }
void TagWindow::setLevelSource(std::function<float()> level) { rules_->setLevelSource(std::move(level)); }

bool TagWindow::isShowing() const { return view_->isVisible() && view_->windowOpacity() > 0.01; }

tag::Rect TagWindow::frame() const {
  // While an animation runs, its end is where the tag is going.
  if (geometry_.state() == QAbstractAnimation::Running) return fromQRect(geometry_.endValue().toRect());
  return fromQRect(view_->geometry());
}

std::optional<tag::Rect> TagWindow::usableAreaUnderPointer() const {
  QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr && !QGuiApplication::screens().isEmpty()) screen = QGuiApplication::screens().first();
  if (screen == nullptr) return std::nullopt;
  const QRect usable = screen->availableGeometry();
  if (usable.isEmpty()) return fromQRect(screen->geometry());
  return fromQRect(usable);
}

void TagWindow::animateGeometry(const tag::Rect& to, int milliseconds, QEasingCurve curve) {
  geometry_.stop();
  geometry_.setDuration(milliseconds);
  geometry_.setEasingCurve(curve);
  geometry_.setStartValue(view_->geometry());
  geometry_.setEndValue(toQRect(to));
  geometry_.start();
}

void TagWindow::animateOpacity(double to, int milliseconds) {
  QObject::disconnect(fadeDone_);
  opacity_.stop();
  opacity_.setDuration(milliseconds);
  opacity_.setEasingCurve(QEasingCurve::OutCubic);
  opacity_.setStartValue(view_->windowOpacity());
  opacity_.setEndValue(to);
  opacity_.start();
}

void TagWindow::slideIn(const tag::Rect& start, const tag::Rect& end) {
  geometry_.stop();
  opacity_.stop();
  QObject::disconnect(fadeDone_);
  view_->setShapedToPill(!compositingActive());
  view_->setGeometry(toQRect(start));
  view_->setWindowOpacity(0);
  if (!view_->isVisible()) showOnAllWorkspaces(*view_);
  view_->show();
  view_->raise();
  animateGeometry(end, 180, QEasingCurve::OutCubic);
  animateOpacity(1, 180);
}

void TagWindow::reframe(const tag::Rect& frame) {
  animateGeometry(frame, 140, QEasingCurve::InOutQuad);
  animateOpacity(1, 120);
}

void TagWindow::fadeOut(std::function<void()> faded) {
  animateOpacity(0, 200);
  fadeDone_ = QObject::connect(&opacity_, &QAbstractAnimation::finished, view_.get(),
                               [this, faded = std::move(faded)] {
                                 QObject::disconnect(fadeDone_);
                                 faded();
                               });
}

void TagWindow::hideAtOnce() {
  geometry_.stop();
  opacity_.stop();
  view_->hide();
}

void TagWindow::redraw() {
  if (view_->isVisible()) view_->update();
}

void TagWindow::watchScreens() {
  auto changed = [this] { rules_->screensChanged(); };
  auto watch = [this, changed](QScreen* screen) {
    screenWatch_.push_back(QObject::connect(screen, &QScreen::availableGeometryChanged, view_.get(), changed));
  };
  for (QScreen* screen : QGuiApplication::screens()) watch(screen);
  auto* app = qGuiApp;
  if (app == nullptr) return;
  screenWatch_.push_back(QObject::connect(app, &QGuiApplication::screenAdded, view_.get(),
                                          [watch, changed](QScreen* screen) {
                                            watch(screen);
                                            changed();
                                          }));
  // A removed screen's window moves on the next turn of the loop; look after that.
  screenWatch_.push_back(QObject::connect(app, &QGuiApplication::screenRemoved, view_.get(), changed,
                                          Qt::QueuedConnection));
  screenWatch_.push_back(QObject::connect(app, &QGuiApplication::primaryScreenChanged, view_.get(), changed));
}

}  // namespace quorvel
