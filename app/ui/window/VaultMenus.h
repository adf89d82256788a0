#pragma once

#include "app/model/AppModel.h"

class QAction;
class QMenu;
class QMessageBox;
class QWidget;

namespace vael {

class VaultWindowModel;
struct DeleteTarget;

// The vault window's context menus. Entries only set the window's requests or start a move; none
// is ever disabled.
namespace VaultMenus {

// A project's "+": "New Credential…", "New Folder…".
QMenu* projectAdd(VaultWindowModel& window, const AppModel::ProjectNode& project, QWidget* parent);
// "Rename…", "New Credential…", "New Group…" and, but for the default project, "Delete Project".
QMenu* project(VaultWindowModel& window, const AppModel::ProjectNode& project, QWidget* parent);
// "Rename…", "New Subgroup…", "Move to…", "Delete".
QMenu* group(VaultWindowModel& window, const AppModel::GroupNode& group, QWidget* parent);
// "Add 2FA Code…", "Move to…", "Delete".
QMenu* item(VaultWindowModel& window, const AppModel::ItemRow& row, QWidget* parent);

// Delete on `view` while it has focus: the selected item's "Delete", the same request as its menu entry.
QAction* deleteSelectedItemKey(VaultWindowModel& window, QWidget* view);

// The question before a deletion: the dialog's own warning symbol, Cancel (the default, with no
// icon of its own) and the action button in red; no minimise or maximise button. Deleted on close.
QMessageBox* deleteConfirmation(const DeleteTarget& target, QWidget* parent);

}  // namespace VaultMenus

}  // namespace vael
