#pragma once

#include <QObject>
#include <QPersistentModelIndex>

#include <vector>

class QToolButton;
class QTreeView;

namespace vael {

class SidebarDelegate;

// The "+" of the Projects header and of each project as real buttons laid over the tree's rows: in
// the Tab chain, named for screen readers ("New project", "Add to …") and among the column's
// accessible children, and clicked without the row under them seeing the click. A click or Space is reported as the delegate's plusClicked.
class SidebarPlusButtons final : public QObject {
public:
    SidebarPlusButtons(QTreeView* tree, SidebarDelegate* delegate);
    // The buttons shown now, top to bottom.
    std::vector<QToolButton*> buttons() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuild();
    void place();
    void retint();

    QTreeView* tree_;
    // Kept apart from the tree: its events still arrive while the tree is being torn down.
    QWidget* viewport_;
    SidebarDelegate* delegate_;
    std::vector<std::pair<QPersistentModelIndex, QToolButton*>> buttons_;
    bool rebuildQueued_ = false;
};

}  // namespace vael
