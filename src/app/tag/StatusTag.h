// The status tag's behaviour, apart from any window system: what a show, a
// live preview and a hide do to the content, where the tag appears, when a
// pending hide still acts, and the 30 Hz tick that feeds the level bars.
//
// The window is reached through TagSurface (the Qt tag implements it; tests
// use a fake), timers through the MainLoop, so tests run every rule on a fake
// clock without a screen.
//
// Threading: main thread only. Ownership: borrows the loop and the surface,
// which must outlive it; it cancels its own timers when destroyed.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/MainLoop.h"
#include "app/tag/TagLayout.h"
#include "app/tag/TagView.h"

namespace quorvel {

// The floating window as the tag's rules see it. Animations run on their own;
// the rules only start them.
class TagSurface {
 public:
  virtual ~TagSurface() = default;
  // Up on screen and not (almost) faded out.
  virtual bool isShowing() const = 0;
  // Its frame now (meaningful while showing).
  virtual tag::Rect frame() const = 0;
  // The usable area (without panels) of the screen that holds the pointer,
  // else the primary screen's, else the first one's; none when there is no
  // screen at all.
  virtual std::optional<tag::Rect> usableAreaUnderPointer() const = 0;
  // Brings the window up at `start` fully transparent, without taking focus,
  // then slides it to `end` while it fades in (0.18 s, easing out).
  virtual void slideIn(const tag::Rect& start, const tag::Rect& end) = 0;
  // Moves an up window to `frame` (0.14 s) and brings it back to full opacity
  // (0.12 s), stopping a fade-out on the way.
  virtual void reframe(const tag::Rect& frame) = 0;
  // Fades to transparent (0.2 s), then calls `faded` unless reframed or
  // slid in meanwhile.
  virtual void fadeOut(std::function<void()> faded) = 0;
  // Takes the window off the screen at once.
  virtual void hideAtOnce() = 0;
  // The content changed: draw it again.
  virtual void redraw() = 0;
};

class StatusTag final : public TagView {
 public:
  // fonts measure the tag's text; tagTop tells whether the tag sits at the
  // top of the screen (read at each new appearance).
  StatusTag(MainLoop& loop, TagSurface& surface, tag::TagFonts fonts, std::function<bool()> tagTop);
  ~StatusTag() override;
  StatusTag(const StatusTag&) = delete;
  StatusTag& operator=(const StatusTag&) = delete;

  void show(TagMode mode, const std::string& text) override;
  void setPreview(const std::string& text) override;
  void hide(double afterSeconds) override;
  void setLevelSource(std::function<float()> level) override;

  // The screens changed (one added, removed or resized): a tag that is up
  // moves back to its place on a screen that exists.
  void screensChanged();

  const tag::TagContent& content() const { return content_; }
  int generation() const { return generation_; }
  bool ticking() const { return tick_ != 0; }

  // How often the bars and the wave move.
  static constexpr Seconds kTickInterval{1.0 / 30.0};

 private:
  void tick();
  void stopTicking();

  MainLoop& loop_;
  TagSurface& surface_;
  tag::TagFonts fonts_;
  std::function<bool()> tagTop_;
  std::function<float()> level_;
  tag::TagContent content_;
  int generation_ = 0;
  MainLoop::TimerId tick_ = 0;
  std::vector<MainLoop::TimerId> pendingHides_;
  // Closures handed to the loop and the surface check this before touching
  // the tag, so none acts after it is gone.
  std::shared_ptr<StatusTag*> self_;
};

}  // namespace quorvel
