#pragma once

#include "app/platform/PasskeySeams.h"

namespace vael {

// Security keys over libfido2 (USB HID): the first FIDO2 key found.
class Fido2Authenticators final : public FidoAuthenticators {
public:
    Fido2Authenticators();
    std::unique_ptr<FidoDevice> open() override;
};

}  // namespace vael
