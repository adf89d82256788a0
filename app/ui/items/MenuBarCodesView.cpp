#include "app/ui/items/MenuBarCodesView.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "app/ui/widgets/BusySpinner.h"
#include "app/ui/items/CodesList.h"
#include "app/ui/widgets/EmptyStateView.h"
#include "app/ui/widgets/GroupedSurface.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

namespace {

QPushButton* plainButton(const QString& title, const QString& name) {
    auto* button = new QPushButton(title);
    button->setObjectName(name);
    button->setAccessibleName(title);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(VaelFont::style(TextStyle::caption));
    makeSecondary(button);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, VaelTheme::secondaryText(palette));
    button->setPalette(palette);
    return button;
}

}  // namespace

MenuBarCodesView::MenuBarCodesView(AppModel& app, QWidget* parent)
    : QWidget(parent), app_(app), pages_(new QStackedLayout(this)) {
    setObjectName("menuBarCodes");

    // Unlocked: the codes, a divider, then "Open Vael" and "Lock".
    unlockedPage_ = new QWidget;
    unlockedPage_->setObjectName("menuBarCodes.unlocked");
    auto* unlocked = new QVBoxLayout(unlockedPage_);
    unlocked->setContentsMargins(0, 0, 0, 0);
    unlocked->setSpacing(0);
    codeArea_ = new QStackedLayout;
    empty_ = new EmptyStateView("timer", "No codes yet", "Add a 2FA seed from the main window.");
    list_ = new CodesList({}, true, false, app.timers(), app.clock());
    codeArea_->addWidget(empty_);
    codeArea_->addWidget(list_);
    unlocked->addLayout(codeArea_, 1);
    unlocked->addWidget(separatorLine());
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(12, 12, 12, 12);
    auto* open = plainButton("Open Vael", "openVael");
    connect(open, &QPushButton::clicked, this, [] { activateMainWindow(); });
    footer->addWidget(open);
    footer->addStretch(1);
    auto* lock = plainButton("Lock", "lock");
    connect(lock, &QPushButton::clicked, this, [this] { app_.lock(); });
    footer->addWidget(lock);
    unlocked->addLayout(footer);
    pages_->addWidget(unlockedPage_);

    // Any other phase: locked, with the unlock button while the server is connected.
    lockedPage_ = new QWidget;
    lockedPage_->setObjectName("menuBarCodes.locked");
    auto* locked = new QVBoxLayout(lockedPage_);
    locked->setContentsMargins(24, 24, 24, 24);
    locked->setSpacing(12);
    locked->addStretch(1);
    auto* symbol = symbolLabel("lock.fill", VaelTheme::secondaryText(palette()), 24);
    locked->addWidget(symbol, 0, Qt::AlignHCenter);
    auto* title = styledLabel("Vael is locked", TextStyle::callout, QFont::Medium);
    title->setObjectName("lockedTitle");
    title->setAccessibleName("Vael is locked");
    locked->addWidget(title, 0, Qt::AlignHCenter);

    unlock_ = new QPushButton;
    unlock_->setObjectName("unlockWithSecurityKey");
    unlock_->setAccessibleName("Unlock with security key");
    auto* inside = new QHBoxLayout(unlock_);
    inside->setContentsMargins(16, 0, 16, 0);
    inside->setSpacing(8);
    unlockSpinner_ = new BusySpinner(14);
    unlockSpinner_->setObjectName("unlockSpinner");
    inside->addStretch(1);
    inside->addWidget(unlockSpinner_);
    inside->addWidget(symbolLabel("touchid", Qt::white, 16));
    auto* unlockText = new QLabel("Unlock with security key");
    unlockText->setTextFormat(Qt::PlainText);
    QPalette white = unlockText->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    unlockText->setPalette(white);
    inside->addWidget(unlockText);
    inside->addStretch(1);
    unlock_->setMinimumSize(inside->sizeHint().width() + 8, 36);
    const QColor brand = VaelTheme::brand();
    QColor disabled = brand;
    disabled.setAlphaF(0.5f);
    unlock_->setStyleSheet(QStringLiteral("QPushButton { background: %1; border: none; border-radius: 8px; }"
                                          "QPushButton:pressed { background: %2; }"
                                          "QPushButton:focus { border: 2px solid %2; }"
                                          "QPushButton:disabled { background: %3; }")
                               .arg(brand.name(), VaelTheme::brandDeep().name(), disabled.name(QColor::HexArgb)));
    connect(unlock_, &QPushButton::clicked, this, [this] { unlock(); });
    locked->addWidget(unlock_, 0, Qt::AlignHCenter);
    openWhenLocked_ = new QPushButton("Open Vael");
    openWhenLocked_->setObjectName("openVaelLocked");
    openWhenLocked_->setAccessibleName("Open Vael");
    connect(openWhenLocked_, &QPushButton::clicked, this, [] { activateMainWindow(); });
    locked->addWidget(openWhenLocked_, 0, Qt::AlignHCenter);
    locked->addStretch(1);
    pages_->addWidget(lockedPage_);

    connect(&app_, &AppModel::vaultRevisionChanged, this, [this] { refresh(); });
    connect(&app_, &AppModel::phaseChanged, this, [this] {
        refreshLayout();
        refresh();
    });
    connect(&app_, &AppModel::isServerConnectedChanged, this, [this] { refreshLayout(); });
    refreshLayout();
    refresh();
}

QCoro::Task<> MenuBarCodesView::refresh() {
    ++ticket_;
    if (app_.phase() != AppModel::Phase::unlocked) {
        setCodes({});
        co_return;
    }
    if (reading_) co_return;  // the read under way reads again for this one
    reading_ = true;
    QPointer<MenuBarCodesView> self(this);
    std::uint64_t readFor = 0;
    do {
        readFor = ticket_;
        auto reading = app_.readListing(listing_.basis());
        auto read = co_await reading;
        if (!self) co_return;
        if (listing_.accepts(read)) {
            listing_.apply(std::move(read));
        } else {
            listing_.forget();
            readFor = 0;  // read it whole
        }
    } while (readFor != ticket_ && app_.phase() == AppModel::Phase::unlocked);
    reading_ = false;
    // A lock (or another change of phase) meanwhile has the last word.
    if (app_.phase() == AppModel::Phase::unlocked && listing_.codes() != codes_) setCodes(listing_.codes());
}

void MenuBarCodesView::setCodes(std::vector<AppModel::CodeRow> codes) {
    codes_ = std::move(codes);
    list_->setCodes(codes_);
    codeArea_->setCurrentWidget(codes_.empty() ? static_cast<QWidget*>(empty_) : list_);
}

void MenuBarCodesView::refreshLayout() {
    const bool isUnlocked = app_.phase() == AppModel::Phase::unlocked;
    pages_->setCurrentWidget(isUnlocked ? unlockedPage_ : lockedPage_);
    const bool connected = app_.isServerConnected();
    unlock_->setVisible(connected);
    openWhenLocked_->setVisible(!connected);
    unlock_->setEnabled(!unlocking_);
    unlockSpinner_->setVisible(unlocking_);
    // The panel's size, or more where a larger font needs it.
    const QSize needed = pages_->currentWidget()->minimumSizeHint();
    setFixedSize(std::max(kWidth, needed.width()),
                 std::max(isUnlocked ? kUnlockedHeight : kLockedHeight, needed.height()));
}

void MenuBarCodesView::unlock() {
    if (unlocking_) return;
    unlocking_ = true;
    refreshLayout();
    [](QPointer<MenuBarCodesView> self, AppModel* app) -> QCoro::Task<> {
        // A cancelled prompt sets no message; any other failure is the model's to show.
        auto unlocking = app->unlockWithPasskey(true);
        co_await unlocking;
        if (!self) co_return;
        self->unlocking_ = false;
        self->refreshLayout();
    }(this, &app_);
}

void MenuBarCodesView::activateMainWindow() {
    for (auto* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<QMainWindow*>(widget)) {
            window->showNormal();
            window->raise();
            window->activateWindow();
            return;
        }
    }
}

}  // namespace vael
