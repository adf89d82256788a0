#include "app/ui/window/SidebarPlusButtons.h"

#include <QEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include "app/model/window/SidebarModel.h"
#include "app/ui/window/SidebarColumn.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

namespace {

bool hasPlus(const QModelIndex& index) {
    const auto kind = index.data(SidebarModel::KindRole).value<SidebarModel::Kind>();
    return kind == SidebarModel::Kind::project ||
           (kind == SidebarModel::Kind::section && index.data().toString() == "Projects");
}

void collect(const QAbstractItemModel& model, const QModelIndex& parent, std::vector<QModelIndex>& found) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const auto index = model.index(row, 0, parent);
        if (hasPlus(index)) found.push_back(index);
        collect(model, index, found);
    }
}

}  // namespace

SidebarPlusButtons::SidebarPlusButtons(QTreeView* tree, SidebarDelegate* delegate)
    : QObject(tree), tree_(tree), viewport_(tree->viewport()), delegate_(delegate) {
    auto* model = tree_->model();
    // After the rows are rebuilt and reopened, once the event loop turns.
    const auto queue = [this] {
        if (rebuildQueued_) return;
        rebuildQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            rebuildQueued_ = false;
            rebuild();
        });
    };
    connect(model, &QAbstractItemModel::modelReset, this, queue);
    connect(model, &QAbstractItemModel::rowsInserted, this, queue);
    connect(model, &QAbstractItemModel::rowsRemoved, this, queue);
    connect(model, &QAbstractItemModel::layoutChanged, this, queue);
    connect(model, &QAbstractItemModel::dataChanged, this, queue);
    connect(tree_, &QTreeView::expanded, this, [this] { place(); });
    connect(tree_, &QTreeView::collapsed, this, [this] { place(); });
    connect(tree_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { place(); });
    viewport_->installEventFilter(this);
    tree_->installEventFilter(this);
    rebuild();
}

std::vector<QToolButton*> SidebarPlusButtons::buttons() const {
    std::vector<QToolButton*> shown;
    for (const auto& [index, button] : buttons_)
        if (!button->isHidden()) shown.push_back(button);
    return shown;
}

void SidebarPlusButtons::rebuild() {
    std::vector<QModelIndex> wanted;
    collect(*tree_->model(), {}, wanted);
    // The same rows keep their buttons, and so the focus.
    const bool same = std::equal(wanted.begin(), wanted.end(), buttons_.begin(), buttons_.end(),
                                 [](const QModelIndex& index, const auto& kept) { return kept.first == index; });
    if (!same) {
        for (auto& [index, button] : buttons_) delete button;
        buttons_.clear();
        QWidget* previous = tree_;
        for (const auto& index : wanted) {
            // Children of the column, not of the tree: an item view offers screen readers its
            // cells only, so a button inside it would be focusable yet never read.
            auto* button = new QToolButton(tree_->parentWidget());
            button->setObjectName(SidebarModel::Kind::project == index.data(SidebarModel::KindRole).value<SidebarModel::Kind>()
                                      ? QStringLiteral("sidebar.addToProject")
                                      : QStringLiteral("sidebar.newProject"));
            button->setAutoRaise(true);
            button->setFocusPolicy(Qt::TabFocus);
            button->setCursor(Qt::PointingHandCursor);
            button->setIconSize({14, 14});
            const QPersistentModelIndex kept(index);
            connect(button, &QToolButton::clicked, this, [this, kept, button] {
                if (kept.isValid())
                    emit delegate_->plusClicked(kept, button->mapToGlobal(QPoint(0, button->height())));
            });
            QWidget::setTabOrder(previous, button);
            previous = button;
            buttons_.emplace_back(kept, button);
        }
        retint();
    }
    for (auto& [index, button] : buttons_) {
        const QString help = SidebarDelegate::plusHelp(index);
        button->setAccessibleName(help);
        // Project names are the user's text: never markup in the tooltip.
        button->setToolTip(QStringLiteral("<qt>%1</qt>").arg(help.toHtmlEscaped()));
    }
    place();
}

void SidebarPlusButtons::place() {
    for (auto& [index, button] : buttons_) {
        const QRect row = index.isValid() ? tree_->visualRect(index) : QRect();
        const QRect area = SidebarDelegate::plusRect(row).adjusted(-4, -4, 4, 4);
        // Over the tree, so only where the whole button is in view.
        if (!row.isValid() || !viewport_->rect().contains(area)) {
            button->hide();
            continue;
        }
        button->setGeometry(QRect(viewport_->mapTo(button->parentWidget(), area.topLeft()), area.size()));
        button->show();
        button->raise();
    }
}

void SidebarPlusButtons::retint() {
    const QColor tint = VaelTheme::secondaryText(tree_->palette());
    for (auto& [index, button] : buttons_) button->setIcon(SymbolCatalog::icon("plus", tint, 14));
}

bool SidebarPlusButtons::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewport_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) place();
    if (watched == tree_ && event->type() == QEvent::PaletteChange) retint();
    return QObject::eventFilter(watched, event);
}

}  // namespace vael
