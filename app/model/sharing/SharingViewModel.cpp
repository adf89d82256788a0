#include "app/model/sharing/SharingViewModel.h"

#include "app/model/Blocking.h"

namespace vael {

SharingViewModel::SharingViewModel(std::string recipientHandle, std::string recipientFingerprint)
    : recipientHandle_(std::move(recipientHandle)), recipientFingerprint_(std::move(recipientFingerprint)) {}

void SharingViewModel::setFingerprintConfirmed(bool confirmed) {
    if (confirmed == fingerprintConfirmed_) return;
    fingerprintConfirmed_ = confirmed;
    emit fingerprintConfirmedChanged();
}

QCoro::Task<Bytes> SharingViewModel::sealKey(CollectionKey key, Bytes recipientX25519, Bytes recipientEd25519,
                                             std::shared_ptr<VaultCrypto> vault) {
    if (!fingerprintConfirmed_) throw SharingError(SharingError::Case::fingerprintNotConfirmed);
    // Recomputed from the very bytes sealed to, compared exactly.
    if (VaultCrypto::fingerprint(recipientX25519, recipientEd25519) != recipientFingerprint_)
        throw SharingError(SharingError::Case::fingerprintMismatch);
    auto sealing = runBlocking([vault = std::move(vault), key = std::move(key), x = std::move(recipientX25519)] {
        return vault->sealCollectionKey(key, x);
    });
    co_return co_await sealing;
}

}  // namespace vael
