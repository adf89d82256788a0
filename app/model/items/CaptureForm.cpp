#include "app/model/items/CaptureForm.h"

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

}  // namespace vael
