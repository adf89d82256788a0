// Asking the user to enter a login an agent needs, and storing it.
#include "app/agent/PromptText.h"
#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/ItemSourceSupport.h"
#include "app/agent/ops/UrlComponents.h"

namespace vael {

using namespace itemsource;
using Case = VaultUDSManagementError::Case;

VaultUDSSecretMetadata StoreVaultItemSource::captureSecret(const VaultUDSRequest& request) {
    return captureSecret(request, [](const std::function<void()>& ask) { ask(); });
}

VaultUDSSecretMetadata StoreVaultItemSource::captureSecret(const VaultUDSRequest& request,
                                                           const WhileAsking& whileAsking) {
    const auto origin = trimmedOr(request.url, {});
    if (origin.empty()) fail(Case::invalid);
    // The sheet tells the owner which site wants a login: an agent may name a site, nothing else.
    const auto host = UrlComponents::webHost(origin);
    if (!host || !UrlComponents::isHostName(*host)) {
        throw VaultUDSManagementError::invalidBecause(
            CredentialCaptureError(CredentialCaptureError::Case::invalidOrigin).what());
    }
    if (!capturePresenter_) fail(Case::unsupported);
    auto suggestedName = trimmedOr(request.name, {});
    const auto suggestion = shownName(suggestedName.empty() ? *host : suggestedName);
    // A login typed into a locked vault could not be kept: do not ask for it.
    requireUnlocked();

    std::optional<CapturedCredential> captured;
    whileAsking([&] { captured = capturePresenter_->present(origin, suggestion); });
    if (!captured) fail(Case::cancelled);
    const SecretText password(std::move(captured->password));
    SecretText::wipe(captured->password);
    const SecretText seed(trimmedOr(captured->otpSecret, {}));
    if (captured->otpSecret) SecretText::wipe(*captured->otpSecret);
    if (trimWhitespace(password.text()).empty()) fail(Case::cancelled);
    // The sheet may have stayed open across a lock or a key rotation: the group and its key are
    // read only now.
    requireUnlocked();

    const auto target = targetGroup(trimmedOr(captured->group, {}), {});
    const auto id = Uuid::random();
    ItemPayload payload;
    payload.name = captured->name;
    if (auto username = trimmedOr(captured->username, {}); !username.empty()) {
        payload.fields.push_back(ItemField{"username", ItemField::Kind::username, std::move(username), false});
    }
    payload.fields.push_back(ItemField{"password", ItemField::Kind::password, password.text(), true});
    if (!seed.empty()) payload.fields.push_back(ItemField{"otp", ItemField::Kind::otp, seed.text(), true});
    payload.url = origin;

    writeNewItem(itemBody(id, target.record.id, "login", sealPayload(payload, id, target.key),
                          std::string(toText(captured->aiAccess)), 1),
                 nameTag(payload.name, target.key));
    const auto passwordField = firstOfKind(payload, ItemField::Kind::password).value_or(0);
    return metadata(id, target.name, payload, payload.fields[passwordField], captured->aiAccess);
}

}  // namespace vael
