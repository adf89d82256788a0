#include "app/ui/shell/UnlockScreen.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/model/AppModel.h"
#include "app/model/shell/UnlockScreenModel.h"
#include "app/ui/widgets/BusySpinner.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelComponents.h"

namespace vael {

namespace {

// A one-point line in the separator colour.
class Divider final : public QWidget {
public:
    Divider() { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), VaelTheme::separator(palette())); }
};

}  // namespace

UnlockScreen::UnlockScreen(AppModel& app, QWidget* parent)
    : QWidget(parent), app_(app), model_(new UnlockScreenModel(app, this)) {
    setObjectName("unlock");
    setMinimumSize(540, 560);

    auto* background = new AuthBackground;
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(background);

    auto* card = new VaelCard(36);
    card->setMaximumWidth(380);
    auto* centre = new QGridLayout(background);
    centre->addWidget(card, 0, 0, Qt::AlignCenter);

    auto* columnHolder = new QWidget;
    columnHolder->setFixedWidth(300);
    card->contentLayout()->addWidget(columnHolder, 0, Qt::AlignHCenter);
    auto* column = new QVBoxLayout(columnHolder);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(24);

    auto* header = new QVBoxLayout;
    header->setSpacing(0);
    header->addWidget(new BrandMark(60), 0, Qt::AlignHCenter);
    header->addSpacing(16 - 2 * 6);  // the mark's shadow margin already spaces it
    auto* title = styledLabel("Unlock Vael", TextStyle::title, QFont::DemiBold);
    title->setAlignment(Qt::AlignCenter);
    header->addWidget(title);
    header->addSpacing(4);
    auto* subtitle = styledLabel("Your zero-knowledge vault", TextStyle::callout, QFont::Normal, true);
    subtitle->setAlignment(Qt::AlignCenter);
    header->addWidget(subtitle);
    column->addLayout(header);

    passkeyBlock_ = new QWidget;
    auto* passkeyColumn = new QVBoxLayout(passkeyBlock_);
    passkeyColumn->setContentsMargins(0, 0, 0, 0);
    passkeyColumn->setSpacing(24);
    passkeyButton_ = named(vaelPrimaryButton(new QPushButton("Unlock with security key")), "unlock.passkey",
                           "Unlock with security key");
    passkeyButton_->setIcon(SymbolCatalog::icon("touchid", Qt::white, 16));
    connect(passkeyButton_, &QPushButton::clicked, model_, [this] { model_->unlockWithPasskey(); });
    passkeyColumn->addWidget(passkeyButton_);
    auto* orRow = new QHBoxLayout;
    orRow->setSpacing(12);
    orRow->addWidget(new Divider, 1, Qt::AlignVCenter);
    orRow->addWidget(styledLabel("or", TextStyle::caption, QFont::Normal, true));
    orRow->addWidget(new Divider, 1, Qt::AlignVCenter);
    passkeyColumn->addLayout(orRow);
    column->addWidget(passkeyBlock_);

    auto* passphraseColumn = new QVBoxLayout;
    passphraseColumn->setSpacing(12);
    passphrase_ = passphraseField("unlock.passphrase");
    connect(passphrase_, &QLineEdit::returnPressed, this, [this] { unlockWithPassphrase(); });
    connect(passphrase_, &QLineEdit::textChanged, this, [this] {
        if (!passphrase_->text().isEmpty()) model_->passphraseTyped();
        refresh();
    });
    passphraseColumn->addWidget(passphrase_);
    passphraseButton_ =
        named(new QPushButton("Unlock with passphrase"), "unlock.passphraseButton", "Unlock with passphrase");
    passphraseButton_->setMinimumHeight(34);
    passphraseButton_->setAutoDefault(false);
    passphraseBusy_ = spinnerInButton(passphraseButton_, 14, palette().color(QPalette::ButtonText));
    passphraseBusy_->setObjectName("unlock.passphraseBusy");
    connect(passphraseButton_, &QPushButton::clicked, this, [this] { unlockWithPassphrase(); });
    passphraseColumn->addWidget(passphraseButton_);
    unlockButton_ = named(vaelPrimaryButton(new QPushButton("Unlock")), "unlock.unlock", "Unlock");
    unlockBusy_ = spinnerInButton(unlockButton_);
    unlockBusy_->setObjectName("unlock.unlockBusy");
    connect(unlockButton_, &QPushButton::clicked, this, [this] { unlockWithPassphrase(); });
    passphraseColumn->addWidget(unlockButton_);
    column->addLayout(passphraseColumn);

    error_ = new ErrorLabel;
    error_->setObjectName("unlock.error");
    column->addWidget(error_);

    connect(&app_, &AppModel::isPasskeyEnrolledChanged, this, [this] { refresh(); });
    connect(&app_, &AppModel::errorMessageChanged, this, [this] { error_->setMessage(app_.errorMessage()); });
    connect(model_, &UnlockScreenModel::focusRequested, this, [this] { passphrase_->setFocus(Qt::OtherFocusReason); });
    connect(qApp, &QGuiApplication::applicationStateChanged, model_, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) {
            model_->applicationBecameActive();
        } else {
            model_->applicationResignedActive();
        }
    });
    error_->setMessage(app_.errorMessage());
    refresh();
}

void UnlockScreen::refresh() {
    const bool enrolled = app_.isPasskeyEnrolled();
    passkeyBlock_->setVisible(enrolled);
    passphraseButton_->setVisible(enrolled);
    unlockButton_->setVisible(!enrolled);
    const bool typed = !passphrase_->text().isEmpty();
    passphraseButton_->setEnabled(typed && !busy_);
    unlockButton_->setEnabled(typed && !busy_);
    passphraseBusy_->setVisible(busy_);
    unlockBusy_->setVisible(busy_);
}

void UnlockScreen::setBusy(bool busy) {
    busy_ = busy;
    refresh();
}

// The button shows the unlock running and takes no second press meanwhile; the field's Return
// still may (the model opens one session whatever the number of presses).
void UnlockScreen::unlockWithPassphrase() {
    if (passphrase_->text().isEmpty()) return;
    setBusy(true);
    [](QPointer<UnlockScreen> screen, QCoro::Task<> unlocking) -> QCoro::Task<> {
        co_await unlocking;
        if (screen) screen->setBusy(false);
    }(QPointer<UnlockScreen>(this), model_->unlock(passphrase_->text()));
}

void UnlockScreen::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    model_->shown();
    // With a security key the field waits; the key's button holds focus so Return reaches it.
    if (app_.isPasskeyEnrolled() && !passphrase_->hasFocus()) passkeyButton_->setFocus(Qt::OtherFocusReason);
}

// Return is the default action wherever the focus is; the field submits its own passphrase.
void UnlockScreen::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (passphrase_->hasFocus()) return;
    if (app_.isPasskeyEnrolled()) {
        model_->unlockWithPasskey();
    } else {
        unlockWithPassphrase();
    }
}

}  // namespace vael
