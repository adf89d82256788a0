#pragma once

#include <QWidget>

class QLabel;
class QListView;
class QStackedWidget;

namespace vael {

class EmptyStateView;
class ItemListModel;
class ScreenFactory;
class VaultWindowModel;

// The middle column: the title over the codes, an empty state or the list of item rows.
class ItemListColumn final : public QWidget {
    Q_OBJECT
public:
    ItemListColumn(VaultWindowModel& window, ScreenFactory& screens, QWidget* parent = nullptr);
    QListView* list() const { return list_; }

private:
    void follow();
    void rebuildCodes();
    void showSelection();
    void contextMenu(const QPoint& at);

    VaultWindowModel& window_;
    ScreenFactory& screens_;
    ItemListModel* model_;
    QLabel* title_;
    QStackedWidget* pages_;
    QWidget* codesPage_;
    QWidget* codes_ = nullptr;
    EmptyStateView* noItems_;
    EmptyStateView* nothingHere_;
    EmptyStateView* noResults_;
    QListView* list_;
    bool updatingCodes_ = false;
};

}  // namespace vael
