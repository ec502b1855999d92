// Draws the status tag: a pill with live level bars, a travelling wave with a
// label, a check mark with the word count, or a line of text. The content
// (mode, text, level history, tick) is owned by the tag's rules; the view
// only measures and paints it, in the palette of the appearance in effect.
//
// Threading: main thread only. The content must outlive the view.
#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

#include "app/tag/TagLayout.h"

class QPainter;

namespace quorvel {

class TagWidget final : public QWidget {
 public:
  explicit TagWidget(const tag::TagContent& content, QWidget* parent = nullptr);

  // Width the current mode and text need.
  double idealWidth() const;
  // The measures of the tag's two fonts, for its rules.
  static tag::TagFonts measures();

  // Cuts the window to the pill, for a desktop without a compositor, where
  // the transparent corners would show black.
  void setShapedToPill(bool shaped);

  // Paints the tag filling `width` × 32 at the painter's origin.
  void paintTag(QPainter& painter, double width) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The last fitted label: the 30 Hz repaint measures only when the text or
  // its room changed.
  struct FittedLabel {
    std::u16string source;
    bool shortened = false;
    double room = -1;
    const QFont* font = nullptr;
    QString text;
  };
  const QString& fitted(const tag::LabelText& label, double room, const QFont& font) const;
  void drawLabel(QPainter& painter, const QString& text, const QFont& font, double x, double mid) const;

  const tag::TagContent& content_;
  QFont textFont_;
  QFont monoFont_;
  bool shapedToPill_ = false;
  mutable FittedLabel fitted_;
};

}  // namespace quorvel
