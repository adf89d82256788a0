#include "app/ui/window/ItemListColumn.h"

#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/model/window/ItemListModel.h"
#include "app/model/window/VaultWindowModel.h"
#include "app/ui/widgets/DisplayText.h"
#include "app/ui/widgets/DragBesidePointer.h"
#include "app/ui/widgets/EmptyStateView.h"
#include "app/ui/ScreenFactory.h"
#include "app/ui/window/VaultItemRowDelegate.h"
#include "app/ui/window/VaultMenus.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

namespace {

QString tierTitle(const QString& id) { return TierStyle::of(id).title; }

}  // namespace

ItemListColumn::ItemListColumn(VaultWindowModel& window, ScreenFactory& screens, QWidget* parent)
    : QWidget(parent), window_(window), screens_(screens) {
    setObjectName("listColumn");
    setMinimumWidth(260);
    setMaximumWidth(420);
    model_ = new ItemListModel(window_, this);
    model_->setAccessibleText(&VaultItemRowDelegate::rowAccessibleText);

    title_ = new QLabel(this);
    title_->setObjectName("listTitle");
    title_->setTextFormat(Qt::PlainText);
    VaelFont::apply(title_, TextStyle::title3, QFont::Bold);

    pages_ = new QStackedWidget(this);
    pages_->setObjectName("listPages");

    codesPage_ = new QWidget(pages_);
    codesPage_->setObjectName("codesPage");
    auto* codesLayout = new QVBoxLayout(codesPage_);
    codesLayout->setContentsMargins(0, 0, 0, 0);

    noItems_ = new EmptyStateView("key.fill", "No items yet", "Add your first secret to get started.", pages_);
    noItems_->setObjectName("noItems");
    noItems_->setAccessibleName("No items yet");
    auto* add = new QPushButton(SymbolCatalog::icon("plus", Qt::white), "Add Item", noItems_);
    add->setObjectName("addFirstItemButton");
    add->setAccessibleName("Add Item");
    add->setDefault(true);
    add->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border-radius: 6px; padding: 6px 16px; }")
                           .arg(VaelTheme::brand().name()));
    if (auto* layout = qobject_cast<QVBoxLayout*>(noItems_->layout())) layout->insertWidget(layout->count() - 1, add, 0, Qt::AlignHCenter);
    connect(add, &QPushButton::clicked, this, [this] { window_.requestAddItem(std::nullopt); });

    nothingHere_ = new EmptyStateView("tray", "Nothing here", "No items in this category.", pages_);
    nothingHere_->setObjectName("nothingHere");
    nothingHere_->setAccessibleName("Nothing here");
    noResults_ = new EmptyStateView("magnifyingglass", {}, "Check the spelling or try a new search.", pages_);
    noResults_->setObjectName("noResults");

    list_ = new DragBesidePointer<QListView>(pages_);
    list_->setObjectName("itemList");
    list_->setAccessibleName("Items");
    list_->setModel(model_);
    list_->setItemDelegate(new VaultItemRowDelegate(list_));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setDragEnabled(true);
    list_->setDragDropMode(QAbstractItemView::DragOnly);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setUniformItemSizes(true);
    list_->setSpacing(1);

    for (auto* page : std::initializer_list<QWidget*>{codesPage_, noItems_, nothingHere_, noResults_, list_})
        pages_->addWidget(page);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 8, 0);
    layout->setSpacing(8);
    layout->addWidget(title_);
    layout->addWidget(pages_, 1);

    // The user's choice of row; the current row moving while the rows change is not one.
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (model_->changing()) return;
        if (auto row = model_->rowAt(index)) window_.setSelectedItemID(row->id);
    });
    // A click selects its row also when the row is current already (the selection was cleared
    // under it), which moves no current row.
    connect(list_, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (auto row = model_->rowAt(index)) window_.setSelectedItemID(row->id);
    });
    connect(list_, &QListView::customContextMenuRequested, this, &ItemListColumn::contextMenu);
    VaultMenus::deleteSelectedItemKey(window_, list_);
    connect(model_, &ItemListModel::rowsUpdated, this, &ItemListColumn::showSelection);
    connect(&window_, &VaultWindowModel::selectedItemIDChanged, this, &ItemListColumn::showSelection);
    connect(&window_, &VaultWindowModel::listsChanged, this, &ItemListColumn::follow);
    connect(&window_, &VaultWindowModel::listsChanged, this, &ItemListColumn::rebuildCodes);
    connect(&window_, &VaultWindowModel::sidebarChanged, this, &ItemListColumn::follow);
    connect(&window_, &VaultWindowModel::searchChanged, this, &ItemListColumn::follow);
    rebuildCodes();
    follow();
}

void ItemListColumn::follow() {
    title_->setText(displayName(window_.contentTitle(tierTitle)));
    title_->setAccessibleName(title_->text());
    switch (window_.content(model_->rowCount() > 0)) {
    case VaultWindowModel::Content::codes:
        pages_->setCurrentWidget(codesPage_);
        break;
    case VaultWindowModel::Content::noItems:
        pages_->setCurrentWidget(noItems_);
        break;
    case VaultWindowModel::Content::nothingHere:
        pages_->setCurrentWidget(nothingHere_);
        break;
    case VaultWindowModel::Content::noResults: {
        // The search as typed, blanks and all.
        const QString title = QStringLiteral("No Results for \u201C%1\u201D").arg(QString::fromStdString(window_.search()));
        noResults_->setTexts(title, "Check the spelling or try a new search.");
        noResults_->setAccessibleName(title);
        pages_->setCurrentWidget(noResults_);
        break;
    }
    case VaultWindowModel::Content::list:
        pages_->setCurrentWidget(list_);
        break;
    }
}

// The codes list takes each new set of codes, or is made afresh; its selection is the window's.
void ItemListColumn::rebuildCodes() {
    const QScopedValueRollback updating(updatingCodes_, true);
    if (codes_ && screens_.updateCodes(codes_, window_.codes(), window_.selectedItemID())) return;
    delete codes_;
    // The user's choice of code; the list's answer to the window's own update is not one (an item
    // without a code selected elsewhere would clear the selection and close its detail).
    codes_ = screens_.codesList(window_.codes(), window_.selectedItemID(), [this](std::optional<Uuid> id) {
        if (!updatingCodes_) window_.setSelectedItemID(id);
    });
    codes_->setParent(codesPage_);
    codesPage_->layout()->addWidget(codes_);
}

void ItemListColumn::showSelection() {
    const auto& id = window_.selectedItemID();
    if (codes_ && window_.sidebar() && window_.sidebar()->kind == SidebarSelection::Kind::codes) {
        const QScopedValueRollback updating(updatingCodes_, true);
        screens_.updateCodes(codes_, window_.codes(), id);
    }
    // The selected item is the current, highlighted row whenever it is in the list.
    const auto at = id ? model_->indexOf(*id) : QModelIndex();
    auto* selection = list_->selectionModel();
    if (at == list_->currentIndex() && (!at.isValid() || selection->isSelected(at))) return;
    QSignalBlocker quiet(selection);
    if (at.isValid())
        list_->setCurrentIndex(at);  // single selection: the row is selected too
    else
        list_->clearSelection();
    list_->viewport()->update();
}

void ItemListColumn::contextMenu(const QPoint& at) {
    const auto row = model_->rowAt(list_->indexAt(at));
    if (!row) return;
    auto* menu = VaultMenus::item(window_, *row, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(list_->viewport()->mapToGlobal(at));
}

}  // namespace vael
