// The dashboard's four pages (internal to the dashboard window). Each page
// draws from the model and rebuilds itself when the model changes.
//
// Threading: main thread only.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QScrollArea>
#include <QSet>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <functional>
#include <optional>

#include "app/windows/DashboardHomeState.h"
#include "app/windows/DashboardModel.h"
#include "ui/UiKit.h"

namespace quorvel::ui {

// A scrolling page with a centred column of content.
class DashboardPage : public QScrollArea {
 public:
  explicit DashboardPage(DashboardModel& model, QWidget* parent = nullptr);
  // Draws the page again from the model.
  virtual void rebuild() = 0;
  // Called every 0.05 s while the page shows (cheap checks only).
  virtual void tick() {}

 protected:
  // The column's layout; rebuild() fills it after clearBody().
  QVBoxLayout* body() const { return body_; }
  void clearBody();
  // The page's title and its explanation.
  void addHeading(const QString& title, const QString& text, QWidget* accessory = nullptr);
  // The page's list at the bottom of the column (rows 10 apart, with
  // topMargin above); the page fills its layout.
  QWidget* addList(int topMargin);
  // Under a list that shows `shown` of `total` rows: a "Show more" button
  // that raises `limit` by a step and calls `redraw` (after the click is
  // handled). Nothing when every row shows. `limit` lives as long as the page.
  void addShowMore(QVBoxLayout* column, int shown, int total, int& limit, std::function<void()> redraw);

  void resizeEvent(QResizeEvent* event) override;

  DashboardModel& model_;

 private:
  // Wrapped lines know their height only for a width: the canvas is given the
  // height its width needs, so a tall page scrolls instead of squeezing rows.
  void fitCanvas();

  QWidget* column_ = nullptr;
  QVBoxLayout* body_ = nullptr;
};

class HomePage final : public DashboardPage {
 public:
  explicit HomePage(DashboardModel& model, QWidget* parent = nullptr);
  void rebuild() override;
  void tick() override;

 private:
  // What the page last drew from the bridge; a change rebuilds it.
  std::optional<DashboardHomeState> shown_;
  QPointer<KeyCap> altKey_;
  QPointer<KeyCap> noteKeyCap_;
  int ticks_ = 0;
};

class HistoryPage final : public DashboardPage {
 public:
  explicit HistoryPage(DashboardModel& model, QWidget* parent = nullptr);
  void rebuild() override;

 private:
  void rebuildList();
  QLineEdit* search_ = nullptr;
  QWidget* list_ = nullptr;
  QTimer searchLater_;
  QSet<qint64> open_;
  int limit_ = 0;
};

class DictionaryPage final : public DashboardPage {
 public:
  explicit DictionaryPage(DashboardModel& model, QWidget* parent = nullptr);
  void rebuild() override;

 private:
  void rebuildList();
  QLineEdit* add_ = nullptr;
  QWidget* list_ = nullptr;
  int limit_ = 0;
};

class SettingsPage final : public DashboardPage {
 public:
  explicit SettingsPage(DashboardModel& model, QWidget* parent = nullptr);
  void rebuild() override;

 private:
  void addUpdateRows(DashboardBridge& bridge);
};

// Removes and deletes every item of a layout.
void clearLayout(QLayout* layout);

// How many rows a long list shows at first, and how many more each
// "Show more" adds: a history of 100,000 lines stays quick to draw.
inline constexpr int kRowsPerStep = 150;

}  // namespace quorvel::ui
