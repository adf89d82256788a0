#pragma once

#include <memory>
#include <optional>

#include "app/model/items/AddTOTPSheetModel.h"
#include "app/ui/widgets/SecondTicker.h"
#include "app/ui/widgets/Sheet.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vael {

class RollingCodeLabel;

class BusySpinner;
class CountdownRing;
class ElidedLabel;
class ErrorLabel;
class FileChooser;
class FormSection;

// "Add 2FA Code": a seed pasted, scanned from the screen, chosen as an image or dropped, previewed
// live, and saved to the target item, a picked item or a new login item. 460 × 470.
class AddTOTPSheet : public Sheet {
public:
    static constexpr int kWidth = 460;
    static constexpr int kHeight = 470;

    // Time comes from the model's timers and clock. Absent seams get the live scanner and the
    // desktop's file dialog.
    AddTOTPSheet(AppModel& app, std::optional<AppModel::ItemRow> target, AddTOTPSheetModel::OnAdded onAdded,
                 QWidget* parent = nullptr, std::shared_ptr<QRScanner> scanner = nullptr,
                 std::shared_ptr<FileChooser> chooser = nullptr);

    AddTOTPSheetModel& model() { return *model_; }
    // "Images (*.png *.jpg …)" from the image formats Qt can read here.
    static QString imageFilter();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildSeedSection();
    QWidget* buildSaveToSection();
    void chooseImage();
    void refreshSeed();
    void refreshPreview();
    void refreshPicker();
    void refreshFooter();
    void fitSeedHeight();

    AppModel& app_;
    AddTOTPSheetModel* model_;
    std::shared_ptr<FileChooser> chooser_;
    SecondTicker ticker_;

    QPlainTextEdit* seed_ = nullptr;
    QPushButton* scan_ = nullptr;
    BusySpinner* scanSpinner_ = nullptr;
    QWidget* preview_ = nullptr;
    RollingCodeLabel* previewCode_ = nullptr;
    ElidedLabel* previewCaption_ = nullptr;
    CountdownRing* previewRing_ = nullptr;
    QWidget* invalid_ = nullptr;
    QComboBox* picker_ = nullptr;
    QLineEdit* name_ = nullptr;
    FormSection* saveTo_ = nullptr;
    ErrorLabel* error_ = nullptr;
    QPushButton* add_ = nullptr;
    BusySpinner* addSpinner_ = nullptr;
};

}  // namespace vael
