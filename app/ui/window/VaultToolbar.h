#pragma once

#include <QToolBar>

#include <utility>
#include <vector>

class QAction;
class QLineEdit;
class QToolButton;

namespace vael {

class AppModel;
class SyncStatusPill;

// The vault window's toolbar: the sync pill while connected, Connect or Sharing, New Project, the
// add menu, Lock and the search field. Every control but Lock only asks, through its signal, for the
// window to open something; Lock locks the model.
//
// `page` hosts the toolbar (it becomes its parent) and the two shortcuts, Ctrl+N for a new item and
// Ctrl+L to lock, which act only while focus is somewhere inside the page. Down on the focused add
// control opens its menu.
class VaultToolbar : public QToolBar {
    Q_OBJECT

public:
    VaultToolbar(AppModel& app, QWidget* page);

    QLineEdit* searchField() const { return search_; }
    SyncStatusPill* syncPill() const { return pill_; }

signals:
    void connectRequested();
    void sharingRequested();
    void newProjectRequested();
    void newItemRequested();
    void newCodeRequested();
    void newSSHKeyRequested();
    void importRequested();
    void searchTextChanged(const QString& text);

protected:
    void changeEvent(QEvent* event) override;

private:
    QAction* addButton(const char* objectName, const QString& label, const char* symbol, const QString& help);
    QAction* menuEntry(const char* objectName, const QString& label, const char* symbol);
    void followConnection();
    void followSync();
    void retint();

    AppModel& app_;
    SyncStatusPill* pill_;
    QAction* pillAction_;
    QAction* connect_;
    QAction* sharing_;
    QAction* newProject_;
    QAction* newItem_;
    QAction* lock_;
    QToolButton* addItem_;
    QLineEdit* search_;
    std::vector<std::pair<QAction*, const char*>> symbols_;
};

}  // namespace vael
