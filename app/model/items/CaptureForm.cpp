#include "app/model/items/CaptureForm.h"

#include "app/agent/UnicodeText.h"
#include "app/agent/ops/UrlComponents.h"

namespace vael {

CapturedCredential CaptureForm::credential(const LiveCredentialCapturePresenter::Pending& pending) const {
    CapturedCredential credential;
    credential.name = !name.empty() ? name : pending.suggestedName.value_or(pending.origin);
    if (!username.empty()) credential.username = username;
    credential.password = password;
    if (!otpSecret.empty()) credential.otpSecret = otpSecret;
    credential.aiAccess = aiAccess;
    return credential;
}

std::string CaptureForm::siteShown(const LiveCredentialCapturePresenter::Pending& pending) {
    const auto host = UrlComponents::webHost(displaySafe(pending.origin));
    return host ? displaySafe(*host) : std::string();
}

}  // namespace vael
