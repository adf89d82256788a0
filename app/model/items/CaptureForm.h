#pragma once

#include <string>

#include "app/agent/VaultUDSAnswers.h"
#include "app/model/LiveCredentialCapturePresenter.h"

namespace vael {

// What the capture sheet's form holds for one request, and the credential it answers with. Nothing
// is trimmed: a field counts as filled when it holds at least one character, spaces included.
struct CaptureForm {
    std::string name;
    std::string username;
    std::string password;
    std::string otpSecret;
    UDSAIAccess aiAccess = UDSAIAccess::humanGated;

    // The name falls back to the request's suggested name (even an empty one), then its origin; an
    // empty username or secret is none; the group is the default one.
    CapturedCredential credential(const LiveCredentialCapturePresenter::Pending& pending) const;

    // The site the sheet names: only the host of the request's origin, made safe to show; empty
    // when the origin is not a web address.
    static std::string siteShown(const LiveCredentialCapturePresenter::Pending& pending);
};

}  // namespace vael
