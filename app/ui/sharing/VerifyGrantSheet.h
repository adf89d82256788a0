#pragma once

#include <functional>
#include <memory>

#include "app/model/sharing/SharingContext.h"
#include "app/model/sharing/VerifyGrantViewModel.h"
#include "app/ui/widgets/Sheet.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace vael {

class BusySpinner;
class ErrorBar;

// The owner checks a claimed invite's fingerprint and grants folders. 460 wide. onGranted runs when
// access is granted, and again on "Done".
class VerifyGrantSheet : public Sheet {
public:
    VerifyGrantSheet(SharingContext context, std::shared_ptr<VerifyGrantViewModel> vm, std::function<void()> onGranted,
                     QWidget* parent = nullptr);

    // "Cancel", "Done" and Escape: after a grant, onGranted runs first.
    void reject() override;

private:
    void refresh();

    SharingContext context_;
    std::shared_ptr<VerifyGrantViewModel> vm_;
    std::function<void()> onGranted_;
    QWidget* granted_;
    BusySpinner* loading_;
    QWidget* form_;
    QLabel* fingerprint_;
    QLineEdit* typed_;
    QVBoxLayout* folders_;
    ErrorBar* error_;
    QPushButton* cancel_;
    QPushButton* grant_;
    BusySpinner* granting_;
};

}  // namespace vael
