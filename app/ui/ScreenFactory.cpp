#include "app/ui/ScreenFactory.h"

#include "app/model/items/ItemDetailViewModel.h"
#include "app/ui/window/AddItemSheet.h"
#include "app/ui/items/AddTOTPSheet.h"
#include "app/ui/items/CodesList.h"
#include "app/ui/shell/ConnectAccountView.h"
#include "app/ui/items/CredentialCaptureSheet.h"
#include "app/ui/items/ImportSheet.h"
#include "app/ui/items/ItemDetailView.h"
#include "app/ui/items/MenuBarCodesView.h"
#include "app/ui/shell/OnboardingView.h"
#include "app/ui/items/SSHKeySheet.h"
#include "app/ui/widgets/Sheet.h"
#include "app/ui/shell/SettingsView.h"
#include "app/ui/window/StructureEditSheet.h"
#include "app/ui/shell/UnlockScreen.h"
#include "app/ui/sharing/InviteAcceptScreen.h"
#include "app/ui/sharing/MembersScreen.h"

namespace vael {

QWidget* ScreenFactory::onboarding() { return OnboardingView::forModel(app_); }

QWidget* ScreenFactory::unlock() { return new UnlockScreen(app_); }

QWidget* ScreenFactory::inviteAccept() {
    // The root view shows this page only while an invite is pending.
    const auto invite = app_.pendingInvite();
    if (!invite) return new QWidget;
    return new InviteAcceptScreen(app_, *invite);
}

QWidget* ScreenFactory::settings() { return new SettingsView(app_); }

QWidget* ScreenFactory::detail(const ItemPayload& payload, const std::string& aiAccess, WebsiteSave onWebsiteSave,
                               const std::string& groupName) {
    auto* vm = new ItemDetailViewModel(payload, app_.biometric());
    auto* view = new ItemDetailView(vm, aiAccess, std::move(onWebsiteSave), groupName, app_.timers(), app_.clock());
    // At lock, not when the old page is finally deleted.
    QObject::connect(&app_, &AppModel::phaseChanged, view, [view, &app = app_] {
        if (app.phase() != AppModel::Phase::unlocked) view->forgetValues();
    });
    return view;
}

bool ScreenFactory::updateDetail(QWidget* pane, const ItemPayload* payload, const std::string& aiAccess,
                                 const std::string& groupName) {
    auto* view = qobject_cast<ItemDetailView*>(pane);
    if (!view) return false;
    view->setPlacement(aiAccess, groupName);
    if (payload) view->setViewModel(new ItemDetailViewModel(*payload, app_.biometric()));
    return true;
}

QWidget* ScreenFactory::codesList(const std::vector<AppModel::CodeRow>& codes, std::optional<Uuid> selection,
                                  OnCodeSelected onSelected) {
    auto* list = new CodesList(codes, /*compact=*/false, /*selectable=*/true, app_.timers(), app_.clock());
    list->setObjectName("codesList");
    list->setSelection(selection);
    QObject::connect(list, &CodesList::selectionChanged, list, std::move(onSelected));
    return list;
}

bool ScreenFactory::updateCodes(QWidget* widget, const std::vector<AppModel::CodeRow>& codes,
                                std::optional<Uuid> selection) {
    auto* list = qobject_cast<CodesList*>(widget);
    if (!list) return false;
    list->setCodes(codes);
    list->setSelection(selection);
    return true;
}

QWidget* ScreenFactory::trayCodes() { return new MenuBarCodesView(app_); }

QDialog* ScreenFactory::addItem(std::optional<AppModel::ProjectNode> project, OnAdded onAdded, QWidget* parent) {
    return new AddItemSheet(app_, std::move(project), std::move(onAdded), parent);
}

QDialog* ScreenFactory::structure(const StructureSheet& request, QWidget* parent) {
    return new StructureEditSheet(request, app_, parent);
}

QDialog* ScreenFactory::connectAccount(QWidget* parent) { return new ConnectAccountView(app_, parent); }

QDialog* ScreenFactory::addCode(std::optional<AppModel::ItemRow> target, OnAdded onAdded, QWidget* parent) {
    return new AddTOTPSheet(app_, std::move(target), std::move(onAdded), parent);
}

QDialog* ScreenFactory::sshKey(QWidget* parent) { return new SSHKeySheet(app_, parent); }

QDialog* ScreenFactory::importPasswords(QWidget* parent) { return new ImportSheet(app_, parent); }

QDialog* ScreenFactory::members(QWidget* parent) {
    // Locked: no context, and the sheet shows nothing.
    auto context = app_.makeSharingContext();
    if (!context) return new Sheet(parent, "Sharing");
    return new MembersScreen(std::move(*context), app_.timers(), parent);
}

QDialog* ScreenFactory::capture(const LiveCredentialCapturePresenter::Pending& request, QWidget* parent) {
    return new CredentialCaptureSheet(request, app_.liveCapture(), parent);
}

}  // namespace vael
