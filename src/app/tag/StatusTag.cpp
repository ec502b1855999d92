// Shows, updates and hides the status tag by its rules.
#include "app/tag/StatusTag.h"

#include <algorithm>
#include <cmath>

namespace quorvel {

namespace {

// Where a tag goes when no screen is known (the offscreen platform may have
// none): a laptop-sized area, so the drawing is still sane.
constexpr tag::Rect kNoScreen{0, 0, 1280, 800};

}  // namespace

StatusTag::StatusTag(MainLoop& loop, TagSurface& surface, tag::TagFonts fonts, std::function<bool()> tagTop)
    : loop_(loop),
      surface_(surface),
      fonts_(std::move(fonts)),
      tagTop_(std::move(tagTop)),
      self_(std::make_shared<StatusTag*>(this)) {}

StatusTag::~StatusTag() {
  *self_ = nullptr;
  stopTicking();
  for (MainLoop::TimerId id : pendingHides_) loop_.cancel(id);
}

void StatusTag::show(TagMode mode, const std::string& text) {
  ++generation_;
  if (mode == TagMode::recording && content_.mode != TagMode::recording) content_.reset();
  content_.mode = mode;
  content_.setPreview(text);

  const double width = std::ceil(tag::idealWidth(content_, fonts_));
  if (surface_.isShowing()) {
    surface_.reframe(tag::resizeAroundCentre(surface_.frame(), width));
  } else {
    const tag::Rect usable = surface_.usableAreaUnderPointer().value_or(kNoScreen);
    const tag::Placement place = tag::placeTag(usable, width, tagTop_ && tagTop_());
    surface_.slideIn(place.start, place.end);
  }

  if (tick_ == 0) {
    std::weak_ptr<StatusTag*> weak = self_;
    tick_ = loop_.every(kTickInterval, [weak] {
      if (auto self = weak.lock(); self && *self) (*self)->tick();
    });
  }
  surface_.redraw();
}

void StatusTag::setPreview(const std::string& text) {
  if (!surface_.isShowing() || content_.mode != TagMode::polishing) return;
  if (!content_.label.text.empty()) {
    // Later text replaces the earlier in place; the tag keeps its width.
    content_.setPreview(text);
    surface_.redraw();
    return;
  }
  show(TagMode::polishing, text);
}

void StatusTag::hide(double afterSeconds) {
  const int shownAs = generation_;
  const double delay = std::isfinite(afterSeconds) ? std::max(afterSeconds, 0.0) : 0.0;
  std::weak_ptr<StatusTag*> weak = self_;
  auto id = std::make_shared<MainLoop::TimerId>(0);
  *id = loop_.after(Seconds(delay), [weak, shownAs, id] {
    auto self = weak.lock();
    if (!self || !*self) return;
    StatusTag& tag = **self;
    std::erase(tag.pendingHides_, *id);
    if (tag.generation_ != shownAs || !tag.surface_.isShowing()) return;
    tag.surface_.fadeOut([weak, shownAs] {
      auto self = weak.lock();
      if (!self || !*self) return;
      StatusTag& tag = **self;
      if (tag.generation_ != shownAs) return;
      tag.surface_.hideAtOnce();
      tag.stopTicking();
      tag.content_.mode = TagMode::recording;
    });
  });
  pendingHides_.push_back(*id);
}

void StatusTag::setLevelSource(std::function<float()> level) { level_ = std::move(level); }

void StatusTag::screensChanged() {
  if (!surface_.isShowing()) return;
  const tag::Rect usable = surface_.usableAreaUnderPointer().value_or(kNoScreen);
  const tag::Rect current = surface_.frame();
  const tag::Placement place = tag::placeTag(usable, current.width, tagTop_ && tagTop_());
  if (place.end != current) surface_.reframe(place.end);
}

void StatusTag::tick() {
  content_.step(level_ ? static_cast<double>(level_()) : 0.0);
  surface_.redraw();
}

void StatusTag::stopTicking() {
  if (tick_ != 0) loop_.cancel(tick_);
  tick_ = 0;
}

}  // namespace quorvel
