#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <qcoro/qcorotask.h>

#include "app/model/AppModel.h"
#include "core/Uuid.h"
#include "crypto/ItemPayload.h"

namespace vael {

// The new-item sheet's state and rules: one secret typed by hand (manual mode) or the fields that
// smart paste found in pasted text (draft mode), the folder inside the sheet's project, the tier,
// and the add itself. Every setter signals only on change.
class AddItemSheetModel final : public QObject {
    Q_OBJECT

public:
    // One field found by smart paste, as the user edits it.
    struct DraftField {
        Uuid id;  // fresh for every parse
        std::string label;
        std::string value;
        bool concealed = false;

        ~DraftField();  // wipes the value
        bool operator==(const DraftField&) const = default;
    };

    using OnAdded = std::function<QCoro::Task<>()>;

    static constexpr std::string_view kAddFailed = "Couldn't add item. Please try again.";
    static constexpr std::string_view kNewFolderName = "General";
    static constexpr std::string_view kItemType = "login";
    static constexpr int kWidth = 460;

    // `project` is where the item is meant to go; none stores it in the default group. `onAdded` is
    // awaited after a successful add, before added() asks the sheet to close.
    AddItemSheetModel(AppModel& app, std::optional<AppModel::ProjectNode> project, OnAdded onAdded,
                      QObject* parent = nullptr);
    ~AddItemSheetModel() override;  // wipes the typed secret and the pasted text

    const std::optional<AppModel::ProjectNode>& project() const { return project_; }

    const std::string& name() const { return name_; }
    void setName(std::string name);
    const std::string& fieldLabel() const { return fieldLabel_; }
    void setFieldLabel(std::string label);
    const std::string& username() const { return username_; }
    void setUsername(std::string username);
    const std::string& value() const { return value_; }
    void setValue(std::string value);
    const std::string& tierID() const { return tierID_; }
    void setTierID(std::string tier);
    const std::optional<Uuid>& targetGroupID() const { return targetGroupID_; }
    void setTargetGroupID(std::optional<Uuid> group);
    bool busy() const { return busy_; }
    const std::optional<std::string>& error() const { return error_; }
    const std::string& pasteText() const { return pasteText_; }
    // A change of the paste text reparses it.
    void setPasteText(std::string text);
    const std::string& draftURL() const { return draftURL_; }
    void setDraftURL(std::string url);

    const std::vector<DraftField>& draftFields() const { return draftFields_; }
    bool isDraftMode() const { return !draftFields_.empty(); }
    // Edits of one draft row, by its id; an unknown id changes nothing.
    void setDraftLabel(const Uuid& id, std::string label);
    void setDraftValue(const Uuid& id, std::string value);
    void toggleConcealed(const Uuid& id);
    void removeDraft(const Uuid& id);

    // Runs smart paste over the text: the draft rows are rebuilt (earlier edits are lost), a found
    // website replaces the typed one, a suggested name fills only an empty name.
    void reparse(std::string_view text);

    // The project's groups by display path (plain text order, stable), and a group's path from its
    // top-level ancestor down, joined with " / ". A parent link that leads back into the path ends it.
    std::vector<AppModel::GroupNode> sortedProjectGroups() const;
    std::string groupPath(const AppModel::GroupNode& group) const;

    // Whether "Add Item" may be pressed: a name (spaces count), not busy, and a value to store.
    bool canAdd() const;
    // The item as the add stores it.
    ItemPayload buildPayload() const;
    // Starts the add; does nothing while one runs or when canAdd() does not hold. An add still running
    // when the sheet goes away runs to its end in the model and touches nothing of the sheet.
    void add();

    // The sheet's height for its mode and whether it has a project; the width is always kWidth.
    int sheetHeight() const;

signals:
    void nameChanged();
    void fieldLabelChanged();
    void usernameChanged();
    void valueChanged();
    void tierIDChanged();
    void targetGroupIDChanged();
    void busyChanged();
    void errorChanged();
    void pasteTextChanged();
    void draftURLChanged();
    // The draft rows were rebuilt or one was removed (so the mode may have changed).
    void draftRowsChanged();
    // One row's label, value or concealment changed.
    void draftFieldChanged(const vael::Uuid& id);
    // The item was stored and onAdded has run: the sheet closes.
    void added();

private:
    struct AddRequest {
        ItemPayload payload;
        std::string tier;
        std::optional<Uuid> group;             // the chosen folder
        std::optional<Uuid> project;           // where a new folder is made when none is chosen
        std::optional<Uuid> madeFolder;        // the folder an earlier attempt of this sheet made
    };
    static QCoro::Task<> runAdd(QPointer<AddItemSheetModel> self, QPointer<AppModel> app, AddRequest request);

    DraftField* draft(const Uuid& id);
    void setBusy(bool busy);
    void setError(std::optional<std::string> error);

    AppModel& app_;
    const std::optional<AppModel::ProjectNode> project_;
    OnAdded onAdded_;

    std::string name_;
    std::string fieldLabel_ = "token";
    std::string username_;
    std::string value_;
    std::string tierID_ = "human_gated";
    std::optional<Uuid> targetGroupID_;
    bool busy_ = false;
    std::optional<std::string> error_;
    std::string pasteText_;
    std::vector<DraftField> draftFields_;
    std::string draftURL_;
    // "General", once this sheet made it: a retry puts the item there instead of making another.
    std::optional<Uuid> madeFolder_;
};

}  // namespace vael
