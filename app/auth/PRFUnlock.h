#pragma once

#include "core/Bytes.h"
#include "core/SecureBytes.h"
#include "crypto/KeyRecords.h"

namespace vael::PRFUnlock {

inline constexpr const char* kInfo = "vael/prf-kek/v1";
inline constexpr std::size_t kSaltBytes = 16;

// The derivation a passkey's key is wrapped with: HKDF over the PRF output with this salt and the
// passkey label; no other parameter.
KdfParams makeKdfParams(Bytes salt);
// The unlock input of a passkey's PRF output.
UnlockInput makeUnlockInput(SecureBytes prfOutput, Bytes salt);

}  // namespace vael::PRFUnlock
