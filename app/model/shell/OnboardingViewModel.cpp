#include "app/model/shell/OnboardingViewModel.h"

#include <QPointer>

#include "app/model/Blocking.h"
#include "app/model/shell/MasterPassphraseGenerator.h"
#include "crypto/CryptoError.h"

namespace vael {

namespace {

QString textOf(const SecureBytes& bytes) {
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

}  // namespace

OnboardingViewModel::OnboardingViewModel(Argon2Cost cost, QObject* parent)
    : OnboardingViewModel([] { return MasterPassphraseGenerator::generate(); },
                          [cost](const SecureBytes& passphrase, bool withEscrow) {
                              return VaultCrypto::createVault(passphrase, withEscrow, cost);
                          },
                          parent) {}

OnboardingViewModel::OnboardingViewModel(PassphraseGenerator generator, VaultCreator creator, QObject* parent)
    : QObject(parent), generator_(std::move(generator)), creator_(std::move(creator)) {}

void OnboardingViewModel::storePassphrase(const QString& text) {
    if (text == passphrase_) return;
    passphrase_ = text;
    emit passphraseChanged();
}

void OnboardingViewModel::setPassphrase(const QString& text) {
    storePassphrase(text);
    if (generatedPassphrase_ && *generatedPassphrase_ != text) setGeneratedPassphrase(std::nullopt);
}

void OnboardingViewModel::setWithEscrow(bool on) {
    if (on == withEscrow_) return;
    withEscrow_ = on;
    emit withEscrowChanged();
}

void OnboardingViewModel::setAcknowledgedSaved(bool saved) {
    if (saved == acknowledgedSaved_) return;
    const bool couldFinish = canFinish();
    acknowledgedSaved_ = saved;
    emit acknowledgedSavedChanged();
    if (canFinish() != couldFinish) emit canFinishChanged();
}

void OnboardingViewModel::setGeneratedPassphrase(std::optional<QString> value) {
    if (value == generatedPassphrase_) return;
    generatedPassphrase_ = std::move(value);
    emit generatedPassphraseChanged();
}

void OnboardingViewModel::setGenerationError(std::optional<QString> value) {
    if (value == passphraseGenerationError_) return;
    passphraseGenerationError_ = std::move(value);
    emit passphraseGenerationErrorChanged();
}

void OnboardingViewModel::setCreating(bool on) {
    if (on == creating_) return;
    creating_ = on;
    emit creatingChanged();
}

void OnboardingViewModel::generatePassphrase() {
    QString text;
    try {
        text = QString::fromStdString(generator_());
    } catch (...) {
        setGenerationError(QString(kGenerationFailed));
        return;
    }
    storePassphrase(text);
    setGeneratedPassphrase(text);
    setGenerationError(std::nullopt);
}

QCoro::Task<> OnboardingViewModel::createVault() {
    if (creating_) co_return;
    if (passphrase_.isEmpty()) throw VaelCryptoError(VaelCryptoError::Code::InvalidArgument, "the passphrase is empty");
    QPointer<OnboardingViewModel> self(this);
    setCreating(true);
    const QByteArray utf8 = passphrase_.toUtf8();
    SecureBytes passphrase(std::string_view(utf8.constData(), std::size_t(utf8.size())));
    std::optional<NewVault> created;
    std::exception_ptr failure;
    try {
        auto work = runBlocking([creator = creator_, passphrase = std::move(passphrase), escrow = withEscrow_] {
            return creator(passphrase, escrow);
        });
        created = co_await work;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) co_return;
    setCreating(false);
    if (failure) std::rethrow_exception(failure);

    // The whole new state first, then the signals in the properties' order, so that no observer
    // sees a new record with an old acknowledgement.
    const bool couldFinish = canFinish();
    const bool wasAcknowledged = acknowledgedSaved_;
    std::optional<QString> code = textOf(created->recoveryCode);
    std::optional<QString> phrase =
        created->recoveryPhrase ? std::optional<QString>(textOf(*created->recoveryPhrase)) : std::nullopt;
    const bool codeChanged = code != recoveryCode_;
    const bool phraseChanged = phrase != recoveryPhrase_;
    newVault_ = std::move(created);
    recoveryCode_ = std::move(code);
    recoveryPhrase_ = std::move(phrase);
    acknowledgedSaved_ = false;
    emit newVaultChanged();
    if (codeChanged) emit recoveryCodeChanged();
    if (phraseChanged) emit recoveryPhraseChanged();
    if (wasAcknowledged) emit acknowledgedSavedChanged();
    if (canFinish() != couldFinish) emit canFinishChanged();
}

}  // namespace vael
