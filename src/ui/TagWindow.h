// The floating status tag on screen: a small always-on-top window that never
// takes the keyboard focus and lets clicks through to the window under it,
// on the screen that holds the pointer. The rules (what shows, where, when a
// hide acts) are StatusTag's; this class gives them a window, animations and
// a 30 Hz tick on the application's main loop.
//
// Threading: main thread only. Ownership: owns its window; borrows the loop,
// which must outlive it.
#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QPropertyAnimation>
#include <functional>
#include <memory>
#include <vector>

#include "app/core/MainLoop.h"
#include "app/tag/StatusTag.h"
#include "app/tag/TagView.h"
#include "ui/TagWidget.h"

namespace quorvel {

class TagWindow final : public TagView, private TagSurface {
 public:
  // tagTop tells whether the tag belongs at the top of the screen; it is
  // asked each time the tag appears.
  TagWindow(MainLoop& loop, std::function<bool()> tagTop);
  ~TagWindow() override;
  TagWindow(const TagWindow&) = delete;
  TagWindow& operator=(const TagWindow&) = delete;

  void show(TagMode mode, const std::string& text) override;
  void setPreview(const std::string& text) override;
  void hide(double afterSeconds) override;
  void setLevelSource(std::function<float()> level) override;

  TagWidget& view() { return *view_; }

 private:
  // TagSurface
  bool isShowing() const override;
  tag::Rect frame() const override;
  std::optional<tag::Rect> usableAreaUnderPointer() const override;
  void slideIn(const tag::Rect& start, const tag::Rect& end) override;
  void reframe(const tag::Rect& frame) override;
  void fadeOut(std::function<void()> faded) override;
  void hideAtOnce() override;
  void redraw() override;

  void animateGeometry(const tag::Rect& to, int milliseconds, QEasingCurve curve);
  void animateOpacity(double to, int milliseconds);
  void watchScreens();

  std::unique_ptr<StatusTag> rules_;  // created once the view exists
  std::unique_ptr<TagWidget> view_;
  QPropertyAnimation geometry_;
  QPropertyAnimation opacity_;
  QMetaObject::Connection fadeDone_;
  std::vector<QMetaObject::Connection> screenWatch_;
};

}  // namespace quorvel
