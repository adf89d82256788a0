#pragma once

#include <optional>
#include <unordered_set>

#include "core/Uuid.h"

#include <utility>

#include <QStyledItemDelegate>
#include <QWidget>

class QTreeView;

namespace vael {

class SidebarModel;
class VaultWindowModel;

// Paints sidebar rows: section captions, symbols (tiers in their tint), badges, and the "+" of the
// Projects header and of each project, which it reports when clicked.
class SidebarDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    // The "+" buttons' tooltips: "New project", "Add to " and the project's name.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
    static QRect plusRect(const QRect& row);
    static QString plusHelp(const QModelIndex& index);
    // Whether the click the view reports next was the "+" one (which only opens its menu).
    bool takePlusClick() { return std::exchange(plusClick_, false); }

signals:
    void plusClicked(const QModelIndex& index, const QPoint& globalPos);

private:
    bool plusClick_ = false;
};

// The first column: the sidebar tree over the window model, and the kill-switch footer below it.
class SidebarColumn final : public QWidget {
    Q_OBJECT
public:
    SidebarColumn(VaultWindowModel& window, QWidget* parent = nullptr);
    QTreeView* tree() const { return tree_; }

private:
    void choose(const QModelIndex& index);
    void showSelection();
    void reopen();
    void toggle(const QModelIndex& index);
    void plus(const QModelIndex& index, const QPoint& globalPos);
    void contextMenu(const QPoint& at);
    void followKillSwitch();
    void noteGroupRequest();
    void openToNewGroup();

    VaultWindowModel& window_;
    // A "New Group" asked in this project: the group it makes shows once it arrives, even in a
    // closed project or below a closed group. The groups already there are not new.
    std::optional<Uuid> groupRequestProject_;
    std::unordered_set<Uuid> groupsBeforeRequest_;
    SidebarModel* model_;
    QTreeView* tree_;
    QWidget* footer_;
    bool reopening_ = false;
};

}  // namespace vael
