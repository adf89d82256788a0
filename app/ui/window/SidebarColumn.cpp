#include "app/ui/window/SidebarColumn.h"

#include <algorithm>

#include <QScopedValueRollback>

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QHelpEvent>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/model/window/SidebarModel.h"
#include "app/ui/widgets/DisplayText.h"
#include "app/ui/widgets/DragBesidePointer.h"
#include "app/ui/widgets/Labels.h"
#include "app/model/window/VaultWindowModel.h"
#include "app/ui/window/SidebarPlusButtons.h"
#include "app/ui/window/VaultMenus.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

namespace {

using Kind = SidebarModel::Kind;

Kind kindOf(const QModelIndex& index) { return index.data(SidebarModel::KindRole).value<Kind>(); }

bool hasPlus(const QModelIndex& index) {
    const auto kind = kindOf(index);
    return kind == Kind::project || (kind == Kind::section && index.data().toString() == "Projects");
}

std::vector<SidebarModel::Tier> tiers() {
    std::vector<SidebarModel::Tier> rows;
    for (const auto& style : TierStyle::all())
        rows.push_back({style.id, style.title, QString::fromStdString(style.icon)});
    return rows;
}

}  // namespace

// ---- SidebarDelegate ----

QRect SidebarDelegate::plusRect(const QRect& row) { return QRect(row.right() - 16 - 14, row.center().y() - 7, 14, 14); }

QSize SidebarDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    auto size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(kindOf(index) == Kind::section ? 26 : 28);
    return size;
}

void SidebarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const auto kind = kindOf(index);
    const QPalette& palette = opt.palette;
    const bool selected = opt.state & QStyle::State_Selected;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QRect row = opt.rect;

    if (selected) {
        QColor fill = VaelTheme::brand();
        fill.setAlphaF(0.18f);
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(row.adjusted(2, 1, -4, -1), 6, 6);
    }
    const QColor secondary = VaelTheme::secondaryText(palette);
    const QColor text = palette.color(QPalette::Text);

    if (kind == Kind::section) {
        painter->setFont(VaelFont::style(TextStyle::caption, opt.font, QFont::DemiBold));
        painter->setPen(secondary);
        painter->drawText(row.adjusted(4, 0, -40, 0), Qt::AlignVCenter | Qt::AlignLeft, opt.text);
    } else {
        const auto symbol = index.data(SidebarModel::SymbolRole).toString().toStdString();
        const auto tier = index.data(SidebarModel::TierRole).toString();
        const QColor tint = !tier.isEmpty() ? TierStyle::of(tier).tint.resolve(palette) : VaelTheme::brand();
        const QRect icon(row.left() + 4, row.center().y() - 8, 16, 16);
        if (!symbol.empty()) SymbolCatalog::paint(*painter, icon, symbol, tint);
        int right = row.right() - 8;
        if (const int badge = index.data(SidebarModel::BadgeRole).toInt(); badge > 0) {
            painter->setFont(VaelFont::style(TextStyle::caption, opt.font));
            const QString number = QString::number(badge);
            const int width = painter->fontMetrics().horizontalAdvance(number);
            painter->setPen(secondary);
            painter->drawText(QRect(right - width, row.top(), width, row.height()), Qt::AlignVCenter, number);
            right -= width + 8;
        }
        if (hasPlus(index)) right = plusRect(row).left() - 6;
        painter->setFont(opt.font);
        painter->setPen(text);
        const QRect label(icon.right() + 8, row.top(), right - icon.right() - 8, row.height());
        painter->drawText(label, Qt::AlignVCenter | Qt::AlignLeft,
                          painter->fontMetrics().elidedText(displayName(opt.text), Qt::ElideRight, label.width()));
    }
    painter->restore();
}

bool SidebarDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) {
    if (event->type() == QEvent::MouseButtonRelease && hasPlus(index)) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (plusRect(option.rect).adjusted(-4, -4, 4, 4).contains(mouse->position().toPoint())) {
            plusClick_ = true;
            emit plusClicked(index, mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

QString SidebarDelegate::plusHelp(const QModelIndex& index) {
    return kindOf(index) == Kind::project ? "Add to " + displayName(index.data().toString()) : QStringLiteral("New project");
}

bool SidebarDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                const QModelIndex& index) {
    if (event->type() == QEvent::ToolTip && hasPlus(index) && plusRect(option.rect).contains(event->pos())) {
        QToolTip::showText(event->globalPos(), plainToolTip(plusHelp(index)), view);
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

// ---- SidebarColumn ----

SidebarColumn::SidebarColumn(VaultWindowModel& window, QWidget* parent) : QWidget(parent), window_(window) {
    setObjectName("sidebarColumn");
    setMinimumWidth(196);
    setMaximumWidth(280);
    model_ = new SidebarModel(window_, tiers(), this);

    tree_ = new DragBesidePointer<QTreeView>(this);
    tree_->setObjectName("sidebar");
    tree_->setAccessibleName("Vael");
    tree_->setModel(model_);
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(false);  // sections always open; projects and groups disclose
    tree_->setItemsExpandable(true);
    // The delegate draws the selection itself, in the brand colour, without the branch area.
    QPalette quiet = tree_->palette();
    quiet.setColor(QPalette::Highlight, Qt::transparent);
    tree_->setPalette(quiet);
    tree_->setIndentation(14);
    tree_->setFrameShape(QFrame::NoFrame);
    tree_->setExpandsOnDoubleClick(false);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    tree_->setDragDropMode(QAbstractItemView::DragDrop);
    tree_->setDefaultDropAction(Qt::MoveAction);
    tree_->setDropIndicatorShown(true);
    auto* delegate = new SidebarDelegate(tree_);
    tree_->setItemDelegate(delegate);
    reopen();

    // Shown only while AI access is paused.
    footer_ = new QWidget(this);
    footer_->setObjectName("killSwitchFooter");
    footer_->setAccessibleName("AI access paused");
    footer_->setAttribute(Qt::WA_StyledBackground);
    const QColor orange = systemColor(SystemColor::orange, palette());
    footer_->setStyleSheet(QStringLiteral("#killSwitchFooter { background: rgba(%1, %2, %3, 0.12); }")
                               .arg(orange.red())
                               .arg(orange.green())
                               .arg(orange.blue()));
    auto* paused = styledLabel("AI access paused", TextStyle::caption, QFont::Medium);
    paused->setObjectName("killSwitchText");
    QPalette tinted = paused->palette();
    tinted.setColor(QPalette::WindowText, orange);
    paused->setPalette(tinted);
    auto* footerRow = new QHBoxLayout(footer_);
    footerRow->setContentsMargins(12, 8, 12, 8);
    footerRow->setSpacing(6);
    footerRow->addWidget(symbolLabel("hand.raised.fill", orange, 14));
    footerRow->addWidget(paused, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tree_, 1);
    layout->addWidget(footer_);

    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) { choose(index); });
    connect(tree_, &QTreeView::clicked, this, [this, delegate](const QModelIndex& index) {
        if (delegate->takePlusClick()) return;
        if (kindOf(index) == Kind::project) toggle(index);
    });
    // Only the user's own opening and closing is remembered, never the view's rebuilding.
    connect(tree_, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (reopening_) return;
        if (const auto* project = model_->projectAt(index)) window_.setProjectExpanded(project->id, true);
        if (const auto group = model_->groupAt(index)) model_->setGroupOpen(group->id, true);
    });
    connect(tree_, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (reopening_) return;
        if (const auto* project = model_->projectAt(index)) window_.setProjectExpanded(project->id, false);
        if (const auto group = model_->groupAt(index)) model_->setGroupOpen(group->id, false);
    });
    connect(tree_, &QTreeView::customContextMenuRequested, this, &SidebarColumn::contextMenu);
    connect(delegate, &SidebarDelegate::plusClicked, this, &SidebarColumn::plus);
    new SidebarPlusButtons(tree_, delegate);
    connect(&window_, &VaultWindowModel::structureSheetChanged, this, &SidebarColumn::noteGroupRequest);
    connect(model_, &SidebarModel::rowsRebuilt, this, [this] {
        openToNewGroup();
        reopen();
        showSelection();
    });
    connect(&window_, &VaultWindowModel::sidebarChanged, this, &SidebarColumn::showSelection);
    connect(&window_.app(), &AppModel::killSwitchEnabledChanged, this, &SidebarColumn::followKillSwitch);
    showSelection();
    followKillSwitch();
}

void SidebarColumn::choose(const QModelIndex& index) {
    if (auto selection = model_->selectionAt(index)) window_.setSidebar(std::move(selection));
}

void SidebarColumn::showSelection() {
    const auto at = model_->indexOf(window_.sidebar().value_or(SidebarSelection::all()));
    if (at.isValid() && tree_->currentIndex() != at) tree_->setCurrentIndex(at);
}

// Sections always open; projects as the window remembers them; groups as the user left them
// (both closed until opened).
void SidebarColumn::reopen() {
    const QScopedValueRollback rebuilding(reopening_, true);
    for (int row = 0; row < model_->rowCount(); ++row) tree_->setExpanded(model_->index(row, 0), true);
    for (const auto& index : model_->headerIndexes()) {
        bool open = false;
        if (const auto* project = model_->projectAt(index)) open = window_.isProjectExpanded(project->id);
        if (const auto group = model_->groupAt(index)) open = model_->isGroupOpen(group->id);
        tree_->setExpanded(index, open);
    }
}

void SidebarColumn::noteGroupRequest() {
    const auto& request = window_.structureSheet();
    if (!request || request->kind != StructureSheet::Kind::newGroup) return;
    groupRequestProject_ = request->target;
    groupsBeforeRequest_.clear();
    if (const auto* project = window_.projectOf(request->target))
        for (const auto& group : project->groups) groupsBeforeRequest_.insert(group.id);
}

void SidebarColumn::openToNewGroup() {
    if (!groupRequestProject_) return;
    const auto* project = window_.projectOf(*groupRequestProject_);
    if (!project) return;
    for (const auto& group : project->groups) {
        if (groupsBeforeRequest_.contains(group.id)) continue;
        window_.setProjectExpanded(project->id, true);
        // Its parents open too, up the path, so the new row is in sight.
        std::unordered_set<Uuid> seen;
        for (auto parent = group.parentID; parent && seen.insert(*parent).second;) {
            model_->setGroupOpen(*parent, true);
            const auto up = std::find_if(project->groups.begin(), project->groups.end(),
                                         [&](const auto& g) { return g.id == *parent; });
            parent = up == project->groups.end() ? std::nullopt : up->parentID;
        }
        groupRequestProject_.reset();
        return;
    }
}

void SidebarColumn::toggle(const QModelIndex& index) { tree_->setExpanded(index, !tree_->isExpanded(index)); }

void SidebarColumn::plus(const QModelIndex& index, const QPoint& globalPos) {
    if (const auto* project = model_->projectAt(index)) {
        auto* menu = VaultMenus::projectAdd(window_, *project, this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(globalPos);
    } else {
        window_.requestStructure(StructureSheet::newProject());
    }
}

void SidebarColumn::contextMenu(const QPoint& at) {
    const auto index = tree_->indexAt(at);
    QMenu* menu = nullptr;
    if (const auto* project = model_->projectAt(index))
        menu = VaultMenus::project(window_, *project, this);
    else if (const auto group = model_->groupAt(index))
        menu = VaultMenus::group(window_, *group, this);
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(tree_->viewport()->mapToGlobal(at));
}

void SidebarColumn::followKillSwitch() { footer_->setVisible(window_.app().killSwitchEnabled()); }

}  // namespace vael
