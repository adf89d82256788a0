#include "app/ui/sharing/InviteAcceptScreen.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "app/model/AppModel.h"
#include "app/ui/widgets/BusySpinner.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelComponents.h"
#include "app/ui/design/VaelTheme.h"
#include "app/ui/sharing/SharingWidgets.h"

namespace vael {

using State = AcceptInviteViewModel::State;

AcceptInviteCard::AcceptInviteCard(std::shared_ptr<AcceptInviteViewModel> vm, QWidget* parent)
    : QWidget(parent), vm_(std::move(vm)) {
    setObjectName("acceptInvite.card");
    setFixedWidth(320 + 2 * 24);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* card = new VaelCard(24, this);
    outer->addWidget(card);
    auto* stack = card->contentLayout();
    stack->setSpacing(16);
    stack->addWidget(new BrandMark(52, false, card), 0, Qt::AlignHCenter);

    invited_ = new QWidget(card);
    auto* invited = new QVBoxLayout(invited_);
    invited->setContentsMargins(0, 0, 0, 0);
    invited->setSpacing(16);
    auto* title = named(new QLabel("You've been invited", invited_), "acceptInvite.title", "You've been invited");
    VaelFont::apply(title, TextStyle::title2, QFont::DemiBold);
    title->setAlignment(Qt::AlignCenter);
    invited->addWidget(title);
    auto* accept = vaelPrimaryButton(named(new QPushButton("Accept invite", invited_), "acceptInvite.accept", "Accept invite"));
    claiming_ = spinnerInButton(accept);
    claiming_->setObjectName("acceptInvite.claiming");
    // Not disabled while claiming: a second press claims again with the same token.
    connect(accept, &QPushButton::clicked, this, [vm = vm_] { vm->accept(); });
    invited->addWidget(accept);
    stack->addWidget(invited_);

    waiting_ = new QWidget(card);
    auto* waiting = new QVBoxLayout(waiting_);
    waiting->setContentsMargins(0, 0, 0, 0);
    waiting->setSpacing(16);
    auto* readOut = named(new QLabel("Read this to the person who invited you", waiting_), "acceptInvite.readOut",
                          "Read this to the person who invited you");
    VaelFont::apply(readOut, TextStyle::headline, QFont::DemiBold);
    readOut->setAlignment(Qt::AlignCenter);
    readOut->setWordWrap(true);
    waiting->addWidget(readOut);
    fingerprint_ = fingerprintBox("acceptInvite.fingerprint", waiting_);
    fingerprint_->setText(QString::fromStdString(vm_->ownFingerprint()));
    waiting->addWidget(fingerprint_);
    waiting->addWidget(statusLabel("hourglass", "Waiting for access\u2026", VaelTheme::secondaryText(palette()),
                                   "acceptInvite.waiting", waiting_));
    stack->addWidget(waiting_);

    granted_ = statusLabel("checkmark.seal.fill", "Access granted \u2014 your shared folders are syncing",
                           systemColor(SystemColor::green, palette()), "acceptInvite.granted", card);
    stack->addWidget(granted_);

    failed_ = new QWidget(card);
    failed_->setObjectName("acceptInvite.error");
    auto* failed = new QHBoxLayout(failed_);
    failed->setContentsMargins(0, 0, 0, 0);
    const auto red = systemColor(SystemColor::red, palette());
    auto* icon = new QLabel(failed_);
    icon->setPixmap(SymbolCatalog::pixmap("exclamationmark.triangle.fill", red, 16, devicePixelRatioF()));
    failed->addWidget(icon, 0, Qt::AlignTop);
    failure_ = new QLabel(failed_);
    failure_->setObjectName("acceptInvite.errorText");
    failure_->setTextFormat(Qt::PlainText);
    failure_->setWordWrap(true);
    QPalette palette = failure_->palette();
    palette.setColor(QPalette::WindowText, red);
    failure_->setPalette(palette);
    failed->addWidget(failure_, 1);
    stack->addWidget(failed_);

    connect(vm_.get(), &AcceptInviteViewModel::stateChanged, this, &AcceptInviteCard::refresh);
    connect(vm_.get(), &AcceptInviteViewModel::errorMessageChanged, this, &AcceptInviteCard::refresh);
    refresh();
}

void AcceptInviteCard::refresh() {
    const auto state = vm_->state();
    invited_->setVisible(state == State::idle || state == State::claiming);
    claiming_->setVisible(state == State::claiming);
    waiting_->setVisible(state == State::waitingForAccess);
    granted_->setVisible(state == State::accessGranted);
    failed_->setVisible(state == State::error);
    const auto message = QString::fromStdString(vm_->errorMessage().value_or("Something went wrong"));
    failure_->setText(message);
    failure_->setAccessibleName(message);
}

InviteAcceptScreen::InviteAcceptScreen(AppModel& app, PendingInvite invite, QWidget* parent)
    : QWidget(parent), app_(app) {
    setObjectName("inviteAcceptScreen");
    setMinimumSize(540, 560);
    auto* layers = new QVBoxLayout(this);
    layers->setContentsMargins(0, 0, 0, 0);
    auto* background = new AuthBackground(this);
    layers->addWidget(background);
    auto* centre = new QVBoxLayout(background);
    centre->addStretch(1);
    auto* column = new QVBoxLayout;
    column->setSpacing(16);
    card_ = new AcceptInviteCard(app.makeAcceptInviteViewModel(invite.token), background);
    column->addWidget(card_, 0, Qt::AlignHCenter);
    auto* cancel = named(new QPushButton("Cancel", background), "acceptInvite.cancel", "Cancel");
    cancel->setMinimumHeight(32);
    connect(cancel, &QPushButton::clicked, this, &InviteAcceptScreen::dismiss);
    column->addWidget(cancel, 0, Qt::AlignHCenter);
    centre->addLayout(column);
    centre->addStretch(1);
}

void InviteAcceptScreen::dismiss() { app_.dismissInvite(); }

void InviteAcceptScreen::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        dismiss();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace vael
