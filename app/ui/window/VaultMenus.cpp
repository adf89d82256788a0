#include "app/ui/window/VaultMenus.h"

#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include "app/model/window/DeleteTarget.h"
#include "app/model/window/VaultWindowModel.h"
#include "app/ui/widgets/Sheet.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"
#include "app/ui/widgets/DisplayText.h"

namespace vael::VaultMenus {

namespace {

// A stored name as a menu shows it.
QString menuName(const std::string& stored) { return withoutMnemonic(displayName(stored)); }

QAction* entry(QMenu* menu, const QString& title, const char* objectName) {
    auto* action = menu->addAction(title);
    action->setObjectName(objectName);
    return action;
}

QMenu* newMenu(QWidget* parent, const char* objectName) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(objectName);
    return menu;
}

void addCredentialEntry(QMenu* menu, VaultWindowModel& window, const AppModel::ProjectNode& project) {
    QObject::connect(entry(menu, "New Credential…", "newCredentialAction"), &QAction::triggered, menu,
                     [&window, project] { window.requestAddItem(project); });
}

}  // namespace

QMenu* projectAdd(VaultWindowModel& window, const AppModel::ProjectNode& project, QWidget* parent) {
    auto* menu = newMenu(parent, "projectAddMenu");
    menu->setAccessibleName("Add to " + displayName(project.name));
    const QColor tint = VaelTheme::secondaryText(menu->palette());
    addCredentialEntry(menu, window, project);
    menu->actions().back()->setIcon(SymbolCatalog::icon("key.fill", tint));
    auto* folder = entry(menu, "New Folder…", "newFolderAction");
    folder->setIcon(SymbolCatalog::icon("folder.badge.plus", tint));
    QObject::connect(folder, &QAction::triggered, menu,
                     [&window, id = project.id] { window.requestStructure(StructureSheet::newGroup(id, std::nullopt)); });
    return menu;
}

QMenu* project(VaultWindowModel& window, const AppModel::ProjectNode& project, QWidget* parent) {
    auto* menu = newMenu(parent, "projectMenu");
    QObject::connect(entry(menu, "Rename…", "renameProjectAction"), &QAction::triggered, menu,
                     [&window, project] { window.requestStructure(StructureSheet::renameProject(project.id, project.name)); });
    addCredentialEntry(menu, window, project);
    QObject::connect(entry(menu, "New Group…", "newGroupAction"), &QAction::triggered, menu, [&window, id = project.id] {
        window.requestStructure(StructureSheet::newGroup(id, std::nullopt));
    });
    if (VaultWindowModel::canDeleteProject(project)) {
        menu->addSeparator();
        QObject::connect(entry(menu, "Delete Project", "deleteProjectAction"), &QAction::triggered, menu,
                         [&window, project] { window.requestDelete(DeleteTarget::project(project.id, project.name)); });
    }
    return menu;
}

QMenu* group(VaultWindowModel& window, const AppModel::GroupNode& group, QWidget* parent) {
    auto* menu = newMenu(parent, "groupMenu");
    QObject::connect(entry(menu, "Rename…", "renameGroupAction"), &QAction::triggered, menu,
                     [&window, group] { window.requestStructure(StructureSheet::renameGroup(group.id, group.name)); });
    QObject::connect(entry(menu, "New Subgroup…", "newSubgroupAction"), &QAction::triggered, menu, [&window, group] {
        window.requestStructure(StructureSheet::newGroup(group.projectID, group.id));
    });
    auto* moves = menu->addMenu("Move to…");
    moves->setObjectName("groupMoveMenu");
    for (const auto& target : window.groupMoveTargets(group)) {
        auto* action = moves->addAction(menuName(target.label));
        QObject::connect(action, &QAction::triggered, menu, [&window, id = group.id, target] {
            window.moveGroup(id, target.project, target.group);
        });
    }
    menu->addSeparator();
    QObject::connect(entry(menu, "Delete", "deleteGroupAction"), &QAction::triggered, menu,
                     [&window, group] { window.requestDelete(DeleteTarget::group(group.id, group.name)); });
    return menu;
}

QMenu* item(VaultWindowModel& window, const AppModel::ItemRow& row, QWidget* parent) {
    auto* menu = newMenu(parent, "itemMenu");
    QObject::connect(entry(menu, "Add 2FA Code…", "addCodeAction"), &QAction::triggered, menu,
                     [&window, row] { window.requestAddTOTP(row); });
    auto* moves = menu->addMenu("Move to…");
    moves->setObjectName("itemMoveMenu");
    for (const auto& target : window.itemMoveTargets(row)) {
        auto* action = moves->addAction(menuName(target.label));
        QObject::connect(action, &QAction::triggered, menu,
                         [&window, id = row.id, group = *target.group] { window.moveItem(id, group); });
    }
    menu->addSeparator();
    QObject::connect(entry(menu, "Delete", "deleteItemAction"), &QAction::triggered, menu,
                     [&window, row] { window.requestDelete(DeleteTarget::item(row.id, row.name)); });
    return menu;
}

QAction* deleteSelectedItemKey(VaultWindowModel& window, QWidget* view) {
    return addKeyAction(view, "deleteSelectedItemKey", {QKeySequence(QKeySequence::Delete)},
                        Qt::WidgetShortcut, [&window] {
                            if (const auto& row = window.selectedRow())
                                window.requestDelete(DeleteTarget::item(row->id, row->name));
                        });
}

QMessageBox* deleteConfirmation(const DeleteTarget& target, QWidget* parent) {
    auto* dialog = new QMessageBox(parent);
    dialog->setObjectName("deleteConfirmation");
    useDialogTitleBar(dialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowTitle(displayName(target.prompt()));
    dialog->setIconPixmap(SymbolCatalog::pixmap("exclamationmark.triangle.fill",
                                                systemColor(SystemColor::orange, dialog->palette()), 48,
                                                dialog->devicePixelRatioF()));
    dialog->setTextFormat(Qt::PlainText);
    dialog->setText(displayName(target.prompt()));
    dialog->setInformativeText(QString::fromStdString(target.message()));
    auto* cancel = dialog->addButton(QMessageBox::Cancel);
    cancel->setObjectName("deleteCancel");
    cancel->setIcon(QIcon());
    cancel->setAccessibleName(cancel->text().remove('&'));
    auto* destroy = dialog->addButton(QString::fromStdString(target.actionTitle()), QMessageBox::DestructiveRole);
    destroy->setObjectName("deleteConfirm");
    destroy->setAccessibleName(destroy->text());
    destroy->setIcon(QIcon());
    QPalette red = destroy->palette();
    red.setColor(QPalette::ButtonText, systemColor(SystemColor::red, red));
    destroy->setPalette(red);
    destroy->setAutoDefault(false);
    dialog->setDefaultButton(cancel);
    return dialog;
}

}  // namespace vael::VaultMenus
