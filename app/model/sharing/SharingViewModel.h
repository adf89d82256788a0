#pragma once

#include <QObject>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <qcoro/qcorotask.h>

#include "core/Bytes.h"
#include "crypto/VaultCrypto.h"

namespace vael {

// The one way a group key is sealed to another account: only once the recipient's fingerprint was
// confirmed, and only to keys that still give exactly that fingerprint.
class SharingViewModel final : public QObject {
    Q_OBJECT

public:
    class SharingError : public std::runtime_error {
    public:
        enum class Case { fingerprintNotConfirmed, fingerprintMismatch };
        explicit SharingError(Case c)
            : std::runtime_error(c == Case::fingerprintNotConfirmed ? "The fingerprint was not confirmed."
                                                                    : "The keys do not match the confirmed fingerprint."),
              case_(c) {}
        Case code() const { return case_; }

    private:
        Case case_;
    };

    SharingViewModel(std::string recipientHandle, std::string recipientFingerprint);

    const std::string& recipientHandle() const { return recipientHandle_; }
    const std::string& recipientFingerprint() const { return recipientFingerprint_; }
    bool fingerprintConfirmed() const { return fingerprintConfirmed_; }
    void setFingerprintConfirmed(bool confirmed);
    bool canShare() const { return fingerprintConfirmed_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }

    // The key sealed to recipientX25519, on a worker. Raises SharingError, or the crypto library's error.
    QCoro::Task<Bytes> sealKey(CollectionKey key, Bytes recipientX25519, Bytes recipientEd25519,
                               std::shared_ptr<VaultCrypto> vault);

signals:
    void fingerprintConfirmedChanged();
    void errorMessageChanged();

private:
    std::string recipientHandle_;
    std::string recipientFingerprint_;
    bool fingerprintConfirmed_ = false;
    std::optional<std::string> errorMessage_;
};

}  // namespace vael
