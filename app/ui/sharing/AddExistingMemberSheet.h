#pragma once

#include <memory>

#include "app/model/sharing/AddExistingMemberViewModel.h"
#include "app/model/sharing/SharingContext.h"
#include "app/ui/widgets/Sheet.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vael {

class ErrorBar;

// Finds an existing account by handle, shows its fingerprint, and adds it with a role and folders.
class AddExistingMemberSheet : public Sheet {
public:
    explicit AddExistingMemberSheet(SharingContext context, QWidget* parent = nullptr);
    const std::shared_ptr<AddExistingMemberViewModel>& model() const { return vm_; }

private:
    void refresh();

    SharingContext context_;
    std::shared_ptr<AddExistingMemberViewModel> vm_;
    QLineEdit* handle_;
    QWidget* found_;
    QLabel* fingerprint_;
    QWidget* verified_;
    QLineEdit* typed_;
    QComboBox* role_;
    ErrorBar* error_;
    QPushButton* cancel_;
    QWidget* added_;
    QPushButton* add_;
};

}  // namespace vael
