#include "app/ui/window/VaultScreen.h"

#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/model/AppModel.h"
#include "app/model/window/VaultWindowModel.h"
#include "app/ui/widgets/EmptyStateView.h"
#include "app/ui/widgets/DisplayText.h"
#include "app/ui/widgets/ErrorBanner.h"
#include "app/ui/window/ItemListColumn.h"
#include "app/ui/ScreenFactory.h"
#include "app/ui/window/SidebarColumn.h"
#include "app/ui/window/VaultMenus.h"
#include "app/ui/window/VaultToolbar.h"

namespace vael {

namespace {

// The pane's save: the model's, then a re-read; a failure goes back to the pane.
QCoro::Task<> saveWebsite(QPointer<VaultWindowModel> window, Uuid id, std::optional<std::string> url, bool strict) {
    if (!window) co_return;
    auto save = window->saveWebsite(id, std::move(url), strict);
    co_await save;
}

// A sheet's on-added action: the window re-reads, if it is still there.
QCoro::Task<> refreshWindow(QPointer<VaultWindowModel> window) {
    if (!window) co_return;
    auto reread = window->refresh();
    co_await reread;
}

}  // namespace

VaultScreen::VaultScreen(AppModel& app, ScreenFactory& screens, QWidget* parent)
    : QWidget(parent), app_(app), screens_(screens), window_(new VaultWindowModel(app, this)) {
    setObjectName("vaultScreen");
    setAccessibleName("Vault");

    // Built first, the toolbar comes first in the Tab order: toolbar, sidebar, list, detail.
    auto* toolbar = makeToolbar();
    sidebar_ = new SidebarColumn(*window_, this);
    list_ = new ItemListColumn(*window_, screens_, this);
    // Opening the vault puts the keyboard in the item list.
    setFocusProxy(list_->list());

    detail_ = new QStackedWidget(this);
    detail_->setObjectName("detailColumn");
    detail_->setMinimumWidth(340);
    detailEmpty_ = new QWidget(detail_);
    detailEmpty_->setObjectName("detailEmpty");
    detailPlaceholder_ = new EmptyStateView("lock.shield", "Select an item",
                                            "Choose a secret to view its details \u2014 used without revealing.", detail_);
    detailPlaceholder_->setObjectName("detailPlaceholder");
    detailPlaceholder_->setAccessibleName("Select an item");
    detail_->addWidget(detailEmpty_);
    detail_->addWidget(detailPlaceholder_);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("vaultColumns");
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(sidebar_);
    splitter_->addWidget(list_);
    splitter_->addWidget(detail_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 0);
    splitter_->setStretchFactor(2, 1);
    splitter_->setSizes({216, 320, 440});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar);
    layout->addWidget(new ErrorBanner(app_, this));
    layout->addWidget(splitter_, 1);

    // The detail follows the selection; everything follows the store.
    connect(window_, &VaultWindowModel::selectedItemIDChanged, this, [this] { window_->loadDetail(); });
    connect(&app_, &AppModel::vaultRevisionChanged, this, [this] { window_->refresh(); });
    // A new load hands the pane its new payload; a refresh only decides what the column shows.
    connect(window_, &VaultWindowModel::detailChanged, this, [this] { showDetail(true); });
    connect(window_, &VaultWindowModel::selectedRowChanged, this, [this] { showDetail(false); });
    connect(window_, &VaultWindowModel::listsChanged, this, [this] { showDetail(false); });
    connect(window_, &VaultWindowModel::addRequestChanged, this, &VaultScreen::openAddItem);
    connect(window_, &VaultWindowModel::totpRequestChanged, this, &VaultScreen::openAddCode);
    connect(window_, &VaultWindowModel::structureSheetChanged, this, &VaultScreen::openStructure);
    connect(window_, &VaultWindowModel::deleteTargetChanged, this, &VaultScreen::confirmDelete);
    showDetail(false);
    // Read while the page is still being laid out, not once it shows.
    readFirst();
    window_->loadDetail();
}

VaultScreen::~VaultScreen() = default;

QCoro::Task<> VaultScreen::readFirst() {
    QPointer self(this);
    auto read = window_->refresh();
    co_await read;
    if (!self) co_return;
    // The page arrives in a turn of its own: taking in ten thousand rows and the page's first layout
    // in one would hold the event loop too long.
    QTimer::singleShot(0, this, [this] {
        ready_ = true;
        emit ready();
    });
}

QToolBar* VaultScreen::makeToolbar() {
    auto* bar = new VaultToolbar(app_, this);
    const auto open = [this](QDialog* sheet) { sheet->open(); };
    connect(bar, &VaultToolbar::connectRequested, this, [this, open] { open(screens_.connectAccount(this)); });
    connect(bar, &VaultToolbar::sharingRequested, this, [this, open] { open(screens_.members(this)); });
    connect(bar, &VaultToolbar::newSSHKeyRequested, this, [this, open] { open(screens_.sshKey(this)); });
    connect(bar, &VaultToolbar::importRequested, this, [this, open] { open(screens_.importPasswords(this)); });
    connect(bar, &VaultToolbar::newProjectRequested, this,
            [this] { window_->requestStructure(StructureSheet::newProject()); });
    connect(bar, &VaultToolbar::newItemRequested, this, [this] { window_->requestAddItem(std::nullopt); });
    connect(bar, &VaultToolbar::newCodeRequested, this, [this] { window_->requestAddTOTP(std::nullopt); });
    connect(bar, &VaultToolbar::searchTextChanged, this,
            [this](const QString& text) { window_->setSearch(text.toStdString()); });
    return bar;
}

void VaultScreen::showDetail(bool loaded) {
    switch (window_->detail()) {
    case VaultWindowModel::Detail::empty:
        detail_->setCurrentWidget(detailEmpty_);
        break;
    case VaultWindowModel::Detail::placeholder:
        detail_->setCurrentWidget(detailPlaceholder_);
        break;
    case VaultWindowModel::Detail::item: {
        const auto& row = *window_->selectedRow();
        const QString id = QString::fromStdString(row.id.text());
        // One pane per item: the same item, reloaded or not, goes to the pane it has, with its tier and
        // group as they are now; another item gets a fresh pane, whose own state starts afresh.
        if (detailPane_ && detailPane_->property("vaelItem").toString() == id &&
            screens_.updateDetail(detailPane_, loaded ? &*window_->detailPayload() : nullptr, row.aiAccess,
                                  window_->groupName(row.groupID))) {
            detail_->setCurrentWidget(detailPane_);
            break;
        }
        delete detailPane_;
        ScreenFactory::WebsiteSave save = [window = QPointer(window_), id = row.id](std::optional<std::string> url, bool strict) {
            return saveWebsite(window, id, std::move(url), strict);
        };
        detailPane_ = screens_.detail(*window_->detailPayload(), row.aiAccess, std::move(save),
                                      window_->groupName(row.groupID));
        detailPane_->setProperty("vaelItem", id);
        detail_->addWidget(detailPane_);
        detail_->setCurrentWidget(detailPane_);
        break;
    }
    }
}

void VaultScreen::present(QDialog* sheet, std::function<void()> clear) {
    // Closing the sheet clears its own request, never a newer one that replaced it.
    connect(sheet, &QDialog::finished, window_, std::move(clear));
    sheet->open();
}

void VaultScreen::openAddItem() {
    const auto& request = window_->addRequest();
    if (!request) return;
    auto onAdded = [window = QPointer(window_)] { return refreshWindow(window); };
    present(screens_.addItem(request->project, onAdded, this), [this, id = request->id] {
        if (window_->addRequest() && window_->addRequest()->id == id) window_->clearAddRequest();
    });
}

void VaultScreen::openAddCode() {
    const auto& request = window_->totpRequest();
    if (!request) return;
    auto onAdded = [window = QPointer(window_)] { return refreshWindow(window); };
    present(screens_.addCode(request->target, onAdded, this), [this, id = request->id] {
        if (window_->totpRequest() && window_->totpRequest()->id == id) window_->clearTOTPRequest();
    });
}

void VaultScreen::openStructure() {
    const auto& request = window_->structureSheet();
    if (!request) return;
    present(screens_.structure(*request, this), [this, id = request->id()] {
        if (window_->structureSheet() && window_->structureSheet()->id() == id) window_->clearStructureSheet();
    });
}

void VaultScreen::confirmDelete() {
    const auto& target = window_->deleteTarget();
    if (!target) return;
    auto* dialog = VaultMenus::deleteConfirmation(*target, this);
    auto* destroy = dialog->findChild<QPushButton*>("deleteConfirm");
    connect(destroy, &QPushButton::clicked, this, [app = QPointer(&app_), target = *target] {
        if (app) target.perform(*app);
    });
    // Any way of closing it ends the pending deletion.
    connect(dialog, &QDialog::finished, window_, [this, id = target->id()] {
        if (window_->deleteTarget() && window_->deleteTarget()->id() == id) window_->clearDeleteTarget();
    });
    dialog->open();
}

}  // namespace vael
