#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include <qcoro/qcorotask.h>

#include "core/SecureBytes.h"
#include "crypto/VaultCrypto.h"

namespace vael {

// First-run vault creation: the passphrase typed or generated, the escrow choice, the recovery
// material of the created vault and the user's acknowledgement. Nothing here is ever stored.
// Every property signals only on change, except newVault, which signals on every write.
class OnboardingViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString passphrase READ passphrase WRITE setPassphrase NOTIFY passphraseChanged)
    Q_PROPERTY(bool withEscrow READ withEscrow WRITE setWithEscrow NOTIFY withEscrowChanged)
    Q_PROPERTY(std::optional<QString> generatedPassphrase READ generatedPassphrase NOTIFY generatedPassphraseChanged)
    Q_PROPERTY(std::optional<QString> passphraseGenerationError READ passphraseGenerationError NOTIFY
                   passphraseGenerationErrorChanged)
    Q_PROPERTY(std::optional<QString> recoveryCode READ recoveryCode NOTIFY recoveryCodeChanged)
    Q_PROPERTY(std::optional<QString> recoveryPhrase READ recoveryPhrase NOTIFY recoveryPhraseChanged)
    Q_PROPERTY(bool acknowledgedSaved READ acknowledgedSaved WRITE setAcknowledgedSaved NOTIFY acknowledgedSavedChanged)
    Q_PROPERTY(bool canFinish READ canFinish NOTIFY canFinishChanged)
    Q_PROPERTY(bool creating READ creating NOTIFY creatingChanged)

public:
    // A new passphrase, or a throw.
    using PassphraseGenerator = std::function<std::string()>;
    // VaultCrypto::createVault; runs on a worker.
    using VaultCreator = std::function<NewVault(const SecureBytes& passphrase, bool withEscrow)>;

    static constexpr const char* kGenerationFailed = "Could not generate a passphrase. Try again.";

    // The standard generator and the library's creation at `cost`.
    explicit OnboardingViewModel(Argon2Cost cost, QObject* parent = nullptr);
    OnboardingViewModel(PassphraseGenerator generator, VaultCreator creator, QObject* parent = nullptr);

    const QString& passphrase() const { return passphrase_; }
    // The screen's only way to edit the passphrase; an edit away from the generated one hides it.
    void setPassphrase(const QString& text);
    bool withEscrow() const { return withEscrow_; }
    void setWithEscrow(bool on);
    const std::optional<QString>& generatedPassphrase() const { return generatedPassphrase_; }
    const std::optional<QString>& passphraseGenerationError() const { return passphraseGenerationError_; }
    const std::optional<QString>& recoveryCode() const { return recoveryCode_; }
    const std::optional<QString>& recoveryPhrase() const { return recoveryPhrase_; }
    const std::optional<NewVault>& newVault() const { return newVault_; }
    bool acknowledgedSaved() const { return acknowledgedSaved_; }
    void setAcknowledgedSaved(bool saved);
    bool canFinish() const { return newVault_.has_value() && acknowledgedSaved_; }
    // A creation is running on a worker.
    bool creating() const { return creating_; }

    void generatePassphrase();
    // Creates the vault off the main thread. Raises VaelCryptoError for an empty passphrase
    // (without calling the library) and the library's failure unchanged; either way nothing
    // changes. Does nothing while another creation runs.
    QCoro::Task<> createVault();

signals:
    void passphraseChanged();
    void withEscrowChanged();
    void generatedPassphraseChanged();
    void passphraseGenerationErrorChanged();
    void recoveryCodeChanged();
    void recoveryPhraseChanged();
    void newVaultChanged();
    void acknowledgedSavedChanged();
    void canFinishChanged();
    void creatingChanged();

private:
    void storePassphrase(const QString& text);
    void setGeneratedPassphrase(std::optional<QString> value);
    void setGenerationError(std::optional<QString> value);
    void setCreating(bool on);

    PassphraseGenerator generator_;
    VaultCreator creator_;
    QString passphrase_;
    bool withEscrow_ = true;
    std::optional<QString> generatedPassphrase_;
    std::optional<QString> passphraseGenerationError_;
    std::optional<QString> recoveryCode_;
    std::optional<QString> recoveryPhrase_;
    std::optional<NewVault> newVault_;
    bool acknowledgedSaved_ = false;
    bool creating_ = false;
};

}  // namespace vael
