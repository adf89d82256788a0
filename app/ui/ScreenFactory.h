#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <qcoro/qcorotask.h>

#include "app/model/AppModel.h"
#include "app/model/LiveCredentialCapturePresenter.h"
#include "app/model/window/StructureSheet.h"

class QDialog;
class QWidget;

namespace vael {

// The one place where the window builds the screens that other parts of the application own. Each
// function makes a fresh screen; sheets come back as window-modal dialogs that delete themselves on
// close. Tests derive from it to record what the window asked for.
class ScreenFactory {
public:
    // Saves an item's website and exact-host flag; raises what the save raised.
    using WebsiteSave = std::function<QCoro::Task<>(std::optional<std::string> url, bool strictMatch)>;
    using OnAdded = std::function<QCoro::Task<>()>;
    // The codes list reports the item the user picked.
    using OnCodeSelected = std::function<void(std::optional<Uuid>)>;

    explicit ScreenFactory(AppModel& app) : app_(app) {}
    virtual ~ScreenFactory() = default;

    AppModel& app() const { return app_; }

    // Root pages, one per phase.
    virtual QWidget* onboarding();
    virtual QWidget* unlock();
    virtual QWidget* inviteAccept();
    // The settings dialog's content.
    virtual QWidget* settings();

    // The vault window's columns.
    virtual QWidget* detail(const ItemPayload& payload, const std::string& aiAccess, WebsiteSave onWebsiteSave,
                            const std::string& groupName);
    // Hands a pane made by detail() its own item as it is now: the reloaded payload (when given),
    // the tier and the group name; false when the pane cannot take it, and the window makes a new one.
    virtual bool updateDetail(QWidget* pane, const ItemPayload* payload, const std::string& aiAccess,
                              const std::string& groupName);
    virtual QWidget* codesList(const std::vector<AppModel::CodeRow>& codes, std::optional<Uuid> selection,
                               OnCodeSelected onSelected);
    // Hands a list made by codesList() new codes and the window's selection; false when it cannot
    // take them, and the window makes a new one.
    virtual bool updateCodes(QWidget* list, const std::vector<AppModel::CodeRow>& codes, std::optional<Uuid> selection);
    // The tray's codes, in its popup or the small window.
    virtual QWidget* trayCodes();

    // Sheets over the window.
    virtual QDialog* addItem(std::optional<AppModel::ProjectNode> project, OnAdded onAdded, QWidget* parent);
    virtual QDialog* structure(const StructureSheet& request, QWidget* parent);
    virtual QDialog* connectAccount(QWidget* parent);
    virtual QDialog* addCode(std::optional<AppModel::ItemRow> target, OnAdded onAdded, QWidget* parent);
    virtual QDialog* sshKey(QWidget* parent);
    virtual QDialog* importPasswords(QWidget* parent);
    virtual QDialog* members(QWidget* parent);
    // Answers its own request when it closes, whichever way.
    virtual QDialog* capture(const LiveCredentialCapturePresenter::Pending& request, QWidget* parent);

private:
    AppModel& app_;
};

}  // namespace vael
