#pragma once

#include <map>
#include <optional>

#include "app/model/window/AddItemSheetModel.h"
#include "app/ui/widgets/Sheet.h"

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace vael {

class BusySpinner;
class ErrorLabel;
class FormSection;
class ItemGlyph;
class TierChipPicker;

// The new-item sheet: Smart Paste, the details (one typed secret, or the fields paste found), the
// folder inside the project, the AI access tier, and "Add Item". The state and every rule live in
// AddItemSheetModel; this holds layout and binding. Cancel (Escape) closes at once; an add already
// running then finishes in the model without touching the sheet.
class AddItemSheet : public Sheet {
public:
    AddItemSheet(AppModel& app, std::optional<AppModel::ProjectNode> project, AddItemSheetModel::OnAdded onAdded,
                 QWidget* parent);

    AddItemSheetModel& model() const { return *model_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    struct DraftRow {
        QWidget* row;
        QLineEdit* label;
        QLineEdit* value;
        QToolButton* eye;
        QToolButton* remove;
    };

    QWidget* buildTitle();
    QWidget* buildSmartPaste();
    QWidget* buildDetails();
    QWidget* buildLocation();
    QWidget* buildAccess();
    QWidget* buildFooter();
    QLineEdit* addLineEdit(QFormLayout* form, const char* objectName, const QString& label);

    void rebuildDraftRows();
    void showDraftField(const Uuid& id);
    void followMode();
    void followTier();
    void followAddRule();
    void fitPasteBox();
    void retint();

    AddItemSheetModel* model_;

    ItemGlyph* glyph_ = nullptr;
    QPlainTextEdit* paste_ = nullptr;
    QLineEdit* name_ = nullptr;
    QFormLayout* details_ = nullptr;
    QLineEdit* fieldLabel_ = nullptr;
    QLineEdit* username_ = nullptr;
    QLineEdit* value_ = nullptr;
    QWidget* draft_ = nullptr;
    QLineEdit* website_ = nullptr;
    QVBoxLayout* draftRows_ = nullptr;
    std::map<Uuid, DraftRow> rows_;
    QComboBox* folder_ = nullptr;
    QLabel* newFolderIcon_ = nullptr;
    TierChipPicker* tiers_ = nullptr;
    QLabel* blurbIcon_ = nullptr;
    QLabel* blurb_ = nullptr;
    ErrorLabel* error_ = nullptr;
    QPushButton* add_ = nullptr;
    BusySpinner* spinner_ = nullptr;
};

}  // namespace vael
