#pragma once

#include <memory>

#include "app/ui/widgets/Sheet.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace vael {

class AppModel;
class BusySpinner;
class ErrorLabel;
class FileChooser;
class ItemGlyph;
class SSHKeySheetModel;
class TierChipPicker;
class TimerSource;

// Creates an SSH key pair stored as a vault item with its tier, shows the public key, and installs
// the two key files into a folder the user picks. Closing while a key is being made does not stop
// it: the item is still stored.
class SSHKeySheet : public Sheet {
public:
    static constexpr int kWidth = 480;
    static constexpr int kFormHeight = 500;
    static constexpr int kSuccessHeight = 420;

    // Without a chooser the desktop's folder dialog is used.
    explicit SSHKeySheet(AppModel& app, QWidget* parent = nullptr, std::shared_ptr<FileChooser> chooser = nullptr);
    SSHKeySheetModel& model() const { return *model_; }

    // The key in lines of `perLine` characters, at most three; a longer key loses its middle to "…".
    static QString keyInLines(const QString& key, int perLine);

private:
    QWidget* formStep();
    QWidget* successStep();
    void showStep();
    void refreshForm();
    void refreshInstall();
    void install();

    SSHKeySheetModel* model_;
    std::shared_ptr<FileChooser> chooser_;
    TimerSource* timers_;
    ItemGlyph* glyph_;
    QLabel* title_;
    QStackedWidget* steps_;
    // form step
    TierChipPicker* tiers_ = nullptr;
    ErrorLabel* formError_ = nullptr;
    QPushButton* generate_ = nullptr;
    BusySpinner* spinner_ = nullptr;
    // success step
    QWidget* success_ = nullptr;
    QLabel* storedLine_ = nullptr;
    QLabel* publicKey_ = nullptr;
    QWidget* installOffer_ = nullptr;
    QLabel* installCaption_ = nullptr;
    QWidget* installedRow_ = nullptr;
    QLabel* installedLine_ = nullptr;
    ErrorLabel* installError_ = nullptr;
};

}  // namespace vael
