#pragma once

#include <memory>

#include "app/ui/widgets/Sheet.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace vael {

class AppModel;
class FileChooser;
class ImportSheetModel;

// Brings a CSV password export into the vault: choose a file, see what was recognised, import
// every row as a hidden-tier login, read the outcome. While the import runs the sheet cannot be
// closed.
class ImportSheet : public Sheet {
public:
    static constexpr int kWidth = 480;
    static constexpr int kHeight = 440;

    // Without a chooser the desktop's file dialog is used.
    explicit ImportSheet(AppModel& app, QWidget* parent = nullptr, std::shared_ptr<FileChooser> chooser = nullptr);
    ImportSheetModel& model() const { return *model_; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void choose();
    void rebuildContent();
    void refreshFooter();
    QWidget* chooseSection();
    QWidget* previewSections();
    QWidget* doneSection();

    ImportSheetModel* model_;
    std::shared_ptr<FileChooser> chooser_;
    QVBoxLayout* content_;
    QPushButton* cancel_;
    QProgressBar* progressBar_;
    QLabel* progressText_;
    QPushButton* import_;
    QPushButton* done_;
};

}  // namespace vael
