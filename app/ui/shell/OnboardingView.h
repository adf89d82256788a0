#pragma once

#include <QWidget>

#include <functional>

#include "crypto/VaultCrypto.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QVariantAnimation;

namespace vael {

class AppModel;
class ErrorLabel;
class OnboardingViewModel;
class SecretField;
class VaelCard;

// The first-run screen: choose or generate the master passphrase, create the vault, see the
// recovery material once, confirm it is stored, continue. The application's failure sentence
// shows under the card.
class OnboardingView : public QWidget {
public:
    // Receives the created vault and the passphrase it was created with.
    using Finished = std::function<void(const NewVault& vault, const QString& passphrase)>;

    // The view the root view shows: vaults at the model's cost, completed by completeOnboarding.
    static OnboardingView* forModel(AppModel& app, QWidget* parent = nullptr);

    // Takes ownership of `vm`.
    OnboardingView(AppModel& app, OnboardingViewModel* vm, Finished onFinished, QWidget* parent = nullptr);
    OnboardingViewModel& model() const { return *vm_; }
    // True while the recovery card is still rising into place.
    bool isSwappingCards() const;

    static constexpr int kCardSwapMs = 500;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* buildCreateCard();
    QWidget* buildRecoveryCard();
    void create();
    void finish();
    void refresh();
    void showCardSwap(double progress);

    AppModel& app_;
    OnboardingViewModel* vm_;
    Finished onFinished_;
    bool focusedOnce_ = false;

    QStackedWidget* cards_ = nullptr;
    QVariantAnimation* cardSwap_ = nullptr;  // the incoming card rising into place
    QLineEdit* passphrase_ = nullptr;
    QPushButton* generate_ = nullptr;
    SecretField* generated_ = nullptr;
    QLabel* generationError_ = nullptr;
    QCheckBox* escrow_ = nullptr;
    QPushButton* create_ = nullptr;
    QWidget* creatingSpinner_ = nullptr;
    QWidget* finishingSpinner_ = nullptr;
    bool finishing_ = false;  // handed on; the vault opens (the page then goes) or the model says why not
    SecretField* recoveryCode_ = nullptr;
    SecretField* escrowPhrase_ = nullptr;
    QCheckBox* acknowledge_ = nullptr;
    QPushButton* continue_ = nullptr;
    ErrorLabel* error_ = nullptr;
};

}  // namespace vael
