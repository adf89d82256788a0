#include "app/auth/PRFUnlock.h"

namespace vael::PRFUnlock {

KdfParams makeKdfParams(Bytes salt) {
    return KdfParams{KdfSelector::hkdfSha256, std::move(salt), 0, 0, kInfo};
}

UnlockInput makeUnlockInput(SecureBytes prfOutput, Bytes salt) {
    return UnlockInput::prf(std::move(prfOutput), makeKdfParams(std::move(salt)));
}

}  // namespace vael::PRFUnlock
