#pragma once

#include <optional>
#include <string>

#include "app/ui/widgets/Sheet.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace vael {

class AppModel;
class BusySpinner;
class ErrorLabel;

// The sheet that connects the open vault to a server account under a new passkey on the security
// key. Closes once the model reports a connection, or at once on Cancel / Escape (the attempt
// then goes on in the model).
class ConnectAccountView : public Sheet {
public:
    explicit ConnectAccountView(AppModel& app, QWidget* parent = nullptr);
    ~ConnectAccountView() override;
    void done(int result) override;
    bool isBusy() const { return busy_; }
    // The handle the sheet starts with: the login name, else $USER, else empty.
    static QString loginName();

private:
    void connectAccount();
    void setBusy(bool busy);
    void refresh();
    void forgetOwnSentence();

    AppModel& app_;
    bool busy_ = false;
    std::optional<std::string> ownSentence_;  // the failure this sheet's attempt left in the model
    QLineEdit* handle_;
    ErrorLabel* error_;
    QPushButton* connect_;
    BusySpinner* spinner_;
    QLabel* connectLabel_;
};

}  // namespace vael
