// The onboarding window and its snapshots.
#include "ui/OnboardingWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/history/DictationLog.h"
#include "app/models/ModelStore.h"
#include "app/desktop/DictationKeys.h"
#include "app/permissions/PrivacyTexts.h"
#include "support/UserDefaults.h"
#include "ui/Brand.h"
#include "ui/OnboardingPictures.h"
#include "ui/Palette.h"
#include "ui/UiKit.h"

namespace quorvel::ui {
namespace {

constexpr int kTextWidth = 470;

// A wrapped line of text across the content's width, centred.
QLabel* centred(QLabel* target) {
  target->setAlignment(Qt::AlignHCenter);
  target->setFixedWidth(kTextWidth);
  return target;
}

// A wrapping line whose text changes after it was laid out: a centred box
// does not pass its width down, so it would keep its first height and cut
// the text off.
void fitHeight(QLabel* target) { target->setFixedHeight(target->heightForWidth(target->width())); }

}  // namespace

class OnboardingWindow final : public QWidget {
 public:
  OnboardingWindow(OnboardingModel& model, bool forPicture)
      : QWidget(nullptr, Qt::Window), model_(model), forPicture_(forPicture) {
    setWindowTitle(QStringLiteral("Set Up Quorvel"));
    setFixedSize(kOnboardingWidth, kOnboardingHeight);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 18, 24, 36);
    column->setSpacing(0);

    // The progress row.
    auto* top = new QWidget(this);
    auto* topLine = new QHBoxLayout(top);
    topLine->setContentsMargins(0, 0, 0, 0);
    back_ = new FlatButton(QStringLiteral("‹  Back"), FlatButton::Kind::plain, top);
    back_->setAccessibleName(QStringLiteral("Back"));
    back_->setFixedWidth(84);
    QSizePolicy keepPlace = back_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);  // the dots stay centred on the first step
    back_->setSizePolicy(keepPlace);
    dots_ = new StepDots(top);
    topLine->addWidget(back_);
    topLine->addStretch(1);
    topLine->addWidget(dots_);
    topLine->addStretch(1);
    topLine->addSpacing(84);
    column->addWidget(top);

    content_ = new QWidget(this);
    contentLayout_ = new QVBoxLayout(content_);
    contentLayout_->setContentsMargins(0, 0, 0, 0);
    contentLayout_->setSpacing(0);
    column->addWidget(content_, 1);

    primary_ = new FlatButton(QString(), FlatButton::Kind::filled, this);
    primary_->setHeight(44);
    primary_->setMinimumWidth(240);
    primary_->setFont(Brand::sans(15, 600));
    column->addWidget(primary_, 0, Qt::AlignHCenter);

    QObject::connect(back_, &QAbstractButton::clicked, this, [this] { model_.back(); });
    QObject::connect(primary_, &QAbstractButton::clicked, this, [this] {
      const auto button = model_.primaryButton();
      if (button.action == OnboardingModel::PrimaryButton::Action::askAccessibility && model_.needsInputAccess()) {
        if (QClipboard* clipboard = QGuiApplication::clipboard()) {
          clipboard->setText(qs(inputAccessCommand(model_.bridge().inputAccess(), uinputRuleFile())));
        }
      }
      model_.pressPrimary();
    });

    model_.onChange = [this] { changed(); };
    tick_.setInterval(500);
    QObject::connect(&tick_, &QTimer::timeout, this, [this] {
      model_.everyTick();
      refresh();
    });
    build();
  }

  ~OnboardingWindow() override { model_.onChange = nullptr; }

  bool finishing = false;  // the window hides because the last step was passed
  std::function<void()> onClose;

  void changed() {
    if (model_.step() != built_ || drawnIn_ != appearanceInEffect() || model_.splash != (splash_ != nullptr)) {
      build();
    } else {
      refresh();
    }
  }

  // The content of the current step, made afresh.
  void build() {
    built_ = model_.step();
    drawnIn_ = appearanceInEffect();
    setStyleSheet(fieldStyleSheet());
    clearContent();
    QWidget* parent = content_;
    contentLayout_->addStretch(2);
    contentLayout_->addWidget(new StepIcon(built_, parent), 0, Qt::AlignHCenter);
    contentLayout_->addSpacing(18);
    title_ = centred(label(QString(), 28, 680, Ink::ink, true, parent));
    contentLayout_->addWidget(title_, 0, Qt::AlignHCenter);
    contentLayout_->addSpacing(10);
    body_ = centred(label(QString(), 15, 400, Ink::mute, true, parent));
    contentLayout_->addWidget(body_, 0, Qt::AlignHCenter);
    contentLayout_->addSpacing(26);

    switch (built_) {
      case OnboardingStep::welcome: {
        title_->setText(QStringLiteral("Talk. Quorvel types it."));
        body_->setText(qs(privacyTexts(RemoteSettings::current()).welcome));
        auto* card = new DemoCard(parent);
        card->setFixedWidth(kTextWidth + 10);
        if (forPicture_) card->freeze();
        contentLayout_->addWidget(card, 0, Qt::AlignHCenter);
        break;
      }
      case OnboardingStep::microphone: {
        title_->setText(QStringLiteral("Allow the microphone."));
        body_->setText(qs(privacyTexts(RemoteSettings::current(), dictationKeyName()).microphone));
        addKeyNote(parent);
        auto* mic = new MicPicture(parent);
        mic->setFixedWidth(kTextWidth);
        if (forPicture_) mic->freeze();
        contentLayout_->addWidget(mic, 0, Qt::AlignHCenter);
        contentLayout_->addSpacing(14);
        denied_ = new Card(Card::Fill::recessed, parent, 10);
        auto* line = new QHBoxLayout(denied_);
        line->setContentsMargins(16, 12, 16, 12);
        line->setSpacing(10);
        line->addWidget(new Dot(Palette::rec(), 8, denied_), 0, Qt::AlignTop | Qt::AlignLeft);
        QLabel* explanation = label(QStringLiteral("The microphone is off for Quorvel. In your sound settings, pick "
                                                   "a microphone as the input and unmute it, then come back here."),
                                    13.5, 500, Ink::ink2, true, denied_);
        // Sized for its lines here: a centred box does not pass the width down.
        explanation->setFixedWidth(kTextWidth - 50);
        explanation->setFixedHeight(explanation->heightForWidth(kTextWidth - 50));
        line->addWidget(explanation, 1);
        denied_->setFixedWidth(kTextWidth);
        contentLayout_->addWidget(denied_, 0, Qt::AlignHCenter);
        break;
      }
      case OnboardingStep::accessibility: {
        title_->setText(QStringLiteral("Let Quorvel type for you."));
        // The terminal with the group's command, unless the desktop's own
        // dialog is what is left (then the switch being turned on).
        picture_ = new SwitchPicture(model_.needsInputAccess() && !model_.needsTypingConsent(),
                                     model_.bridge().inputAccess().ruleMissing, parent,
                                     model_.needsTypingConsent());
        picture_->setFixedWidth(kTextWidth);
        contentLayout_->addWidget(picture_, 0, Qt::AlignHCenter);
        contentLayout_->addSpacing(14);
        hint_ = centred(label(QString(), 13.5, 500, Ink::mute, true, parent));
        hint_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        contentLayout_->addWidget(hint_, 0, Qt::AlignHCenter);
        break;
      }
      case OnboardingStep::ready: {
        title_->setText(QStringLiteral("Getting Quorvel ready."));
        body_->setText(qs(privacyTexts(RemoteSettings::current()).download));
        failed_ = centred(label(QStringLiteral("The download didn't finish."), 15, 650, Ink::rec, false, parent));
        contentLayout_->addWidget(failed_, 0, Qt::AlignHCenter);
        contentLayout_->addSpacing(6);
        progress_ = new ProgressLine(parent);
        progress_->setFixedWidth(380);
        contentLayout_->addWidget(progress_, 0, Qt::AlignHCenter);
        contentLayout_->addSpacing(12);
        hint_ = centred(label(QString(), 13.5, 500, Ink::mute, true, parent));
        contentLayout_->addWidget(hint_, 0, Qt::AlignHCenter);
        break;
      }
      case OnboardingStep::tryIt: {
        body_->setText(QStringLiteral("Click in the box, hold the %1 key, say a sentence, then let go.")
                           .arg(qs(dictationKeyName())));
        addKeyNote(parent);
        auto* frame = new Card(Card::Fill::panel, parent, 12);
        frame->setFixedSize(kTextWidth, 128);
        auto* frameLayout = new QVBoxLayout(frame);
        frameLayout->setContentsMargins(8, 6, 8, 6);
        tryBox_ = new QPlainTextEdit(frame);
        tryBox_->setPlaceholderText(QStringLiteral("Click here, then hold %1 and talk").arg(qs(dictationKeyName())));
        tryBox_->setFont(Brand::sans(15.5, 400));
        tryBox_->setFrameShape(QFrame::NoFrame);
        tryBox_->setAccessibleName(QStringLiteral("Try it here"));
        QPalette palette = tryBox_->palette();
        palette.setColor(QPalette::Text, Palette::ink());
        palette.setColor(QPalette::PlaceholderText, Palette::mute());
        palette.setColor(QPalette::Base, Qt::transparent);
        tryBox_->setPalette(palette);
        tryBox_->setPlainText(qs(model_.tryText));
        QObject::connect(tryBox_, &QPlainTextEdit::textChanged, this, [this] {
          model_.tryText = utf8(tryBox_->toPlainText());
          refresh();
        });
        frameLayout->addWidget(tryBox_);
        contentLayout_->addWidget(frame, 0, Qt::AlignHCenter);
        contentLayout_->addSpacing(12);
        auto* statusRow = new QWidget(parent);
        auto* statusLine = new QHBoxLayout(statusRow);
        statusLine->setContentsMargins(0, 0, 0, 0);
        statusLine->setSpacing(8);
        statusDot_ = new Dot(Palette::mute(), 7, statusRow);
        status_ = label(QString(), 13.5, 550, Ink::mute, false, statusRow);
        statusLine->addWidget(statusDot_);
        statusLine->addWidget(status_);
        contentLayout_->addWidget(statusRow, 0, Qt::AlignHCenter);
        contentLayout_->addSpacing(10);
        done_ = centred(label(QStringLiteral("Quorvel typed that. It works the same in any app: your email, chat, "
                                             "notes, editor and browser."),
                              13.5, 400, Ink::mute, true, parent));
        contentLayout_->addWidget(done_, 0, Qt::AlignHCenter);
        if (!forPicture_) QTimer::singleShot(0, tryBox_, [box = QPointer<QPlainTextEdit>(tryBox_)] {
          if (box) box->setFocus();
        });
        break;
      }
    }
    contentLayout_->addStretch(3);

    if (model_.splash && !forPicture_) {
      splash_ = new IntroSplash([this] { QTimer::singleShot(0, this, [this] {
                                  model_.splash = false;
                                  build();
                                }); },
                                this);
      splash_->setGeometry(rect());
      splash_->show();
      splash_->raise();
    }
    refresh();
    update();
  }

  // Everything on the step that follows the application's state.
  void refresh() {
    const auto steps = model_.steps();
    dots_->setSteps(static_cast<int>(steps.size()), model_.position());
    back_->setVisible(model_.position() > 0);
    const auto button = model_.primaryButton();
    primary_->setText(qs(button.title));
    primary_->setEnabled(button.enabled);
    primary_->updateGeometry();
    switch (built_) {
      case OnboardingStep::microphone:
        // Also when the sound server already refuses: the user needs the way out now.
        if (denied_) {
          const MicStatus mic = model_.bridge().micStatus();
          denied_->setVisible(model_.micDenied || mic == MicStatus::denied || mic == MicStatus::restricted);
        }
        break;
      case OnboardingStep::accessibility: {
        body_->setText(qs(model_.accessibilityBody()));
        if (picture_) picture_->setOn(model_.axAllowed() && !model_.needsTypingConsent());
        const auto hint = model_.accessibilityHint();
        if (hint_) {
          hint_->setText(qs(hint.text));
          fitHeight(hint_);
          setInk(hint_, toneColor(hint.tone));
        }
        break;
      }
      case OnboardingStep::ready: {
        const SetupInfo setup = model_.setup();
        const bool failed = setup.phase == SetupInfo::Phase::failed;
        if (failed_) {
          failed_->setText(qs(setup.failureTitle() + "."));
          failed_->setVisible(failed);
        }
        if (progress_) {
          progress_->setVisible(setup.phase == SetupInfo::Phase::downloading || setup.phase == SetupInfo::Phase::ready);
          progress_->setFraction(setup.phase == SetupInfo::Phase::ready ? 1.0 : setup.fraction());
        }
        const auto line = model_.readyLine();
        if (hint_) {
          hint_->setText(qs(line.text));
          fitHeight(hint_);
          setInk(hint_, failed ? Palette::ink2() : toneColor(line.tone));
        }
        break;
      }
      case OnboardingStep::tryIt: {
        title_->setText(qs(model_.tryTitle()));
        const auto status = model_.tryStatus();
        if (status_) {
          status_->setText(qs(status.text));
          setInk(status_, toneColor(status.tone));
          statusDot_->setColor(toneColor(status.tone));
        }
        if (done_) done_->setVisible(model_.typedNoteShown());
        break;
      }
      default:
        break;
    }
  }

  void startTicking() { tick_.start(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Palette::canvas());
    if (drawnIn_ != appearanceInEffect()) QTimer::singleShot(0, this, [this] { build(); });
  }
  void resizeEvent(QResizeEvent*) override {
    if (splash_) splash_->setGeometry(rect());
  }
  void showEvent(QShowEvent*) override { tick_.start(); }
  void hideEvent(QHideEvent*) override { tick_.stop(); }
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    if (!finishing && onClose) onClose();
  }

 private:
  // Why the dictation key is not right Alt, when the first launch chose so;
  // nothing otherwise.
  void addKeyNote(QWidget* parent) {
    const std::string note = altGrChoiceNote(UserDefaults());
    if (note.empty()) return;
    QLabel* line = centred(label(qs(note), 13.5, 500, Ink::ink2, true, parent));
    fitHeight(line);
    contentLayout_->addWidget(line, 0, Qt::AlignHCenter);
    contentLayout_->addSpacing(14);
  }

  void clearContent() {
    while (QLayoutItem* item = contentLayout_->takeAt(0)) {
      if (QWidget* widget = item->widget()) {
        widget->hide();
        widget->deleteLater();
      }
      delete item;
    }
    if (splash_) {
      splash_->hide();
      splash_->deleteLater();
    }
    splash_ = nullptr;
    title_ = body_ = hint_ = status_ = done_ = failed_ = nullptr;
    denied_ = nullptr;
    picture_ = nullptr;
    progress_ = nullptr;
    tryBox_ = nullptr;
    statusDot_ = nullptr;
  }

  OnboardingModel& model_;
  bool forPicture_;
  OnboardingStep built_ = OnboardingStep::welcome;
  Appearance drawnIn_ = Appearance::light;
  FlatButton* back_ = nullptr;
  StepDots* dots_ = nullptr;
  QWidget* content_ = nullptr;
  QVBoxLayout* contentLayout_ = nullptr;
  FlatButton* primary_ = nullptr;
  IntroSplash* splash_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* body_ = nullptr;
  QLabel* hint_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* done_ = nullptr;
  QLabel* failed_ = nullptr;
  Card* denied_ = nullptr;
  SwitchPicture* picture_ = nullptr;
  ProgressLine* progress_ = nullptr;
  QPlainTextEdit* tryBox_ = nullptr;
  Dot* statusDot_ = nullptr;
  QTimer tick_;
};

OnboardingController::OnboardingController(SharedBridge bridge, MainLoop& loop)
    : model_(std::make_unique<OnboardingModel>(std::move(bridge), loop)) {
  model_->onFinish = [this] { finish(); };
  model_->bringToFront = [this] {
    if (!window_) return;
    window_->show();
    window_->raise();
    window_->activateWindow();
  };
}

OnboardingController::~OnboardingController() {
  window_.reset();
  model_.reset();
}

bool OnboardingController::finished() {
  return onboardingFinished(UserDefaults::standard(),
                            [] { return setUpBefore(!ModelStore::missing().empty(), dictationLogFile()); });
}

void OnboardingController::show(bool fromStart) {
  if (fromStart || !window_) model_->restart();
  if (!window_) {
    window_ = std::make_unique<OnboardingWindow>(*model_, false);
    window_->onClose = [this] {
      if (onClose) onClose();
    };
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      window_->move(screen->availableGeometry().center() - window_->rect().center());
    }
  } else {
    window_->build();
  }
  window_->finishing = false;
  window_->show();
  window_->raise();
  window_->activateWindow();
}

bool OnboardingController::isVisible() const { return window_ && window_->isVisible(); }

void OnboardingController::close() {
  if (window_) window_->close();
}

void OnboardingController::finish() {
  UserDefaults defaults;
  markOnboardingFinished(defaults);
  if (window_) {
    window_->finishing = true;
    window_->hide();
  }
  if (onFinished) onFinished();
}

int OnboardingController::snapshots(const std::filesystem::path& folder, SharedBridge bridge, bool dark,
                                    MainLoop& loop) {
  setAppearance(dark ? Appearance::dark : Appearance::light);
  OnboardingModel model(std::move(bridge), loop);
  model.splash = false;
  const bool tried = std::getenv("SNAPSHOT_TRIED") != nullptr;
  int written = 0;
  int position = 0;
  for (OnboardingStep step : allOnboardingSteps) {
    model.go(step);
    model.tryText = step == OnboardingStep::tryIt && model.bridge().state() == AppState::idle && tried
                        ? "Can you send me the file by Thursday?"
                        : "";
    model.askedAccessibility = step == OnboardingStep::accessibility;
    OnboardingWindow window(model, true);
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    window.build();
    runEventsFor(500);
    const std::string name(stepName(step));
    const std::string file = "onboarding-" + std::to_string(position) + "-" + name + (dark ? "-dark" : "") + ".png";
    if (writeSnapshot(window, (folder / file).string())) ++written;
    window.hide();
    ++position;
  }
  return written;
}

}  // namespace quorvel::ui
