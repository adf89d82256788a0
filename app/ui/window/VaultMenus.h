#pragma once

#include "app/model/AppModel.h"

class QMenu;
class QWidget;

namespace vael {

class VaultWindowModel;

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

}  // namespace VaultMenus

}  // namespace vael
