#include "app/ui/window/VaultToolbar.h"

#include <QAction>
#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

#include "app/model/AppModel.h"
#include "app/model/window/SyncPillText.h"
#include "app/ui/window/SyncStatusPill.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/widgets/Sheet.h"

namespace vael {

namespace {

// A toolbar control: named by its visible label, the longer help as its description, and in the
// Tab chain (a toolbar's own buttons take no focus).
void name(QWidget* widget, const char* objectName, const QString& label, const QString& help = {}) {
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setAccessibleName(label);
    if (!help.isEmpty()) widget->setAccessibleDescription(help);
    widget->setFocusPolicy(Qt::TabFocus);
}

}  // namespace

VaultToolbar::VaultToolbar(AppModel& app, QWidget* page) : QToolBar(page), app_(app) {
    setObjectName("toolbar");
    setAccessibleName("Vault toolbar");
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIconSize({16, 16});

    pill_ = new SyncStatusPill(this);
    pillAction_ = addWidget(pill_);
    auto* spacer = new QWidget(this);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(spacer);

    connect_ = addButton("toolbar.connect", "Connect", "antenna.radiowaves.left.and.right",
                         "Connect this vault to the Vael server");
    sharing_ = addButton("toolbar.sharing", "Sharing", "person.2.fill", "Manage members & invites");
    newProject_ = addButton("toolbar.newProject", "New Project", "folder.badge.plus", "New project");
    QObject::connect(connect_, &QAction::triggered, this, &VaultToolbar::connectRequested);
    QObject::connect(sharing_, &QAction::triggered, this, &VaultToolbar::sharingRequested);
    QObject::connect(newProject_, &QAction::triggered, this, &VaultToolbar::newProjectRequested);

    // The add control: a click is a new item, the arrow opens the menu.
    auto* menu = new QMenu(this);
    menu->setObjectName("toolbar.addMenu");
    menu->setAccessibleName("Add");
    newItem_ = menuEntry("toolbar.newItem", "New Item", "key.fill");
    newItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    auto* newCode = menuEntry("toolbar.newCode", "New 2FA Code\u2026", "timer");
    auto* newKey = menuEntry("toolbar.newSSHKey", "New SSH Key\u2026", "key.horizontal.fill");
    auto* import = menuEntry("toolbar.import", "Import Passwords\u2026", "square.and.arrow.down");
    menu->addAction(newItem_);
    menu->addAction(newCode);
    menu->addAction(newKey);
    menu->addSeparator();
    menu->addAction(import);
    QObject::connect(newItem_, &QAction::triggered, this, &VaultToolbar::newItemRequested);
    QObject::connect(newCode, &QAction::triggered, this, &VaultToolbar::newCodeRequested);
    QObject::connect(newKey, &QAction::triggered, this, &VaultToolbar::newSSHKeyRequested);
    QObject::connect(import, &QAction::triggered, this, &VaultToolbar::importRequested);

    const QString addHelp = "Add item (Ctrl+N) \u2014 more in the menu";
    addItem_ = new QToolButton(this);
    name(addItem_, "toolbar.addItem", "Add Item", addHelp);
    addItem_->setText("Add Item");
    addItem_->setToolTip(addHelp);
    addItem_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    addItem_->setPopupMode(QToolButton::MenuButtonPopup);
    addItem_->setMenu(menu);
    addItem_->setAutoRaise(true);
    QObject::connect(addItem_, &QToolButton::clicked, this, &VaultToolbar::newItemRequested);
    // Space is the click; the menu needs a key of its own, or its entries are mouse-only. Down
    // opens it, as on a combo box.
    addKeyAction(addItem_, "toolbar.addMenuKey", {QKeySequence(Qt::Key_Down)}, Qt::WidgetShortcut,
                 [button = addItem_] { button->showMenu(); });
    addWidget(addItem_);
    // Room after the add control, so its menu arrow reads as its own and not as Lock's.
    auto* gap = new QWidget(this);
    gap->setObjectName("toolbar.addGap");
    gap->setFixedWidth(addItem_->fontMetrics().averageCharWidth() * 2);
    addWidget(gap);

    lock_ = addButton("toolbar.lock", "Lock", "lock.fill", "Lock the vault (Ctrl+L)");
    lock_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    // The model ends the session and the root view replaces the window; nothing here runs after.
    QObject::connect(lock_, &QAction::triggered, this, [this] { app_.lock(); });

    // Both shortcuts belong to the page, so they act only while the vault window shows.
    for (auto* action : {newItem_, lock_}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        page->addAction(action);
    }

    search_ = new QLineEdit(this);
    name(search_, "toolbar.search", "Search items");
    search_->setFocusPolicy(Qt::StrongFocus);
    search_->setPlaceholderText("Search items");
    search_->setClearButtonEnabled(true);
    search_->setFixedWidth(200);
    QObject::connect(search_, &QLineEdit::textChanged, this, &VaultToolbar::searchTextChanged);
    addKeyAction(search_, "toolbar.clearSearch", {QKeySequence(Qt::Key_Escape)}, Qt::WidgetShortcut,
                 [search = search_] { search->clear(); });
    addWidget(search_);

    QObject::connect(&app_, &AppModel::isServerConnectedChanged, this, &VaultToolbar::followConnection);
    for (auto signal : {&AppModel::syncStatusChanged, &AppModel::conflictCountChanged,
                        &AppModel::syncFailureReasonChanged}) {
        QObject::connect(&app_, signal, this, &VaultToolbar::followSync);
    }
    followConnection();
    followSync();
    retint();
}

QAction* VaultToolbar::addButton(const char* objectName, const QString& label, const char* symbol,
                                 const QString& help) {
    auto* action = addAction(label);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setToolTip(help);
    symbols_.emplace_back(action, symbol);
    name(widgetForAction(action), objectName, label, help);
    widgetForAction(action)->setToolTip(help);
    return action;
}

QAction* VaultToolbar::menuEntry(const char* objectName, const QString& label, const char* symbol) {
    auto* action = new QAction(label, this);
    action->setObjectName(QString::fromLatin1(objectName));
    symbols_.emplace_back(action, symbol);
    return action;
}

void VaultToolbar::followConnection() {
    const bool connected = app_.isServerConnected();
    pillAction_->setVisible(connected);
    connect_->setVisible(!connected);
    sharing_->setVisible(connected);
}

void VaultToolbar::followSync() {
    pill_->setContent(syncPillText(app_.syncStatus(), app_.conflictCount(), app_.syncFailureReason(),
                                   serverHost(app_.serverEndpoint())));
}

void VaultToolbar::changeEvent(QEvent* event) {
    QToolBar::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) retint();
}

void VaultToolbar::retint() {
    const QColor tint = palette().color(QPalette::ButtonText);
    for (const auto& [action, symbol] : symbols_) action->setIcon(SymbolCatalog::icon(symbol, tint));
    addItem_->setIcon(SymbolCatalog::icon("plus", tint));
}

}  // namespace vael
