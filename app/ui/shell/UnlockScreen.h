#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QWidget;
class QPushButton;

namespace vael {

class AppModel;
class ErrorLabel;
class UnlockScreenModel;

// The lock screen: the security key (when enrolled, also tried on its own when shown and when the
// application comes back) or the master passphrase. Build a fresh one each time the vault locks.
class UnlockScreen : public QWidget {
public:
    explicit UnlockScreen(AppModel& app, QWidget* parent = nullptr);
    UnlockScreenModel& model() const { return *model_; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refresh();
    void unlockWithPassphrase();
    void setBusy(bool busy);

    AppModel& app_;
    UnlockScreenModel* model_;
    bool shownOnce_ = false;
    bool busy_ = false;  // a passphrase unlock runs
    QWidget* passkeyBlock_;
    QPushButton* passkeyButton_;
    QLineEdit* passphrase_;
    QPushButton* unlockButton_;      // without a passkey: the primary "Unlock"
    QPushButton* passphraseButton_;  // with a passkey: "Unlock with passphrase"
    ErrorLabel* error_;
    QWidget* passphraseBusy_;
    QWidget* unlockBusy_;
};

}  // namespace vael
