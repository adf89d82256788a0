#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

#include <qcoro/qcorotask.h>

#include <QDialog>
class QSplitter;
class QStackedWidget;
class QToolBar;

namespace vael {

class AppModel;
class ItemListColumn;
class ScreenFactory;
class SidebarColumn;
class VaultWindowModel;

// The unlocked vault's page: toolbar, error banner, then sidebar, list and detail side by side.
// It keeps its state in its VaultWindowModel, re-reads on every store change and opens one sheet
// or dialog per request.
class VaultScreen final : public QWidget {
    Q_OBJECT
public:
    VaultScreen(AppModel& app, ScreenFactory& screens, QWidget* parent = nullptr);
    ~VaultScreen() override;

    VaultWindowModel& window() const { return *window_; }
    QSplitter* splitter() const { return splitter_; }
    // Whether the first read of the vault is in: the page shows the vault as it is.
    bool isReady() const { return ready_; }

signals:
    void ready();

private:
    QCoro::Task<> readFirst();
    QToolBar* makeToolbar();
    void showDetail(bool loaded);
    void openAddItem();
    void openAddCode();
    void openStructure();
    void confirmDelete();
    void present(QDialog* sheet, std::function<void()> clear);

    AppModel& app_;
    ScreenFactory& screens_;
    VaultWindowModel* window_;
    SidebarColumn* sidebar_;
    ItemListColumn* list_;
    QStackedWidget* detail_;
    QWidget* detailEmpty_;
    QWidget* detailPlaceholder_;
    QPointer<QWidget> detailPane_;
    QSplitter* splitter_;
    bool ready_ = false;
};

}  // namespace vael
