#pragma once

#include <memory>

#include "app/model/sharing/NewInviteViewModel.h"
#include "app/ui/widgets/Sheet.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QWidget;

namespace vael {

class BusySpinner;
class ErrorBar;
class TimerSource;

// Role, folders, e-mail and expiry, then "Create Invite" and the link to copy. 460×520, or larger
// where a larger font needs it.
class NewInviteSheet : public Sheet {
public:
    static constexpr int kWidth = 460;
    static constexpr int kHeight = 520;

    NewInviteSheet(std::shared_ptr<NewInviteViewModel> vm, TimerSource& timers, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void keepOutlines();

    std::shared_ptr<NewInviteViewModel> vm_;
    QSpinBox* expiry_;
    QWidget* linkSection_;
    QLabel* link_;
    QPushButton* create_;
    BusySpinner* spinner_;
    ErrorBar* error_;
};

}  // namespace vael
