#include "app/agent/VaultResolver.h"

#include <sodium.h>

#include "app/agent/PromptText.h"
#include "app/agent/UnicodeText.h"

namespace vael {

namespace {

using Case = VaultUDSManagementError::Case;

constexpr std::size_t kLast4 = 4;
constexpr std::size_t kLast4MinimumLength = 9;

// The plaintext leaves no copy behind in freed memory.
void wipe(std::string& text) {
    if (!text.empty()) sodium_memzero(text.data(), text.size());
    text.clear();
}

}  // namespace

VaultResolver::VaultResolver(std::shared_ptr<VaultItemSource> source, std::shared_ptr<BiometricGate> biometric,
                             std::function<bool()> killSwitch)
    : source_(std::move(source)), biometric_(std::move(biometric)), killSwitch_(std::move(killSwitch)) {
    if (!source_ || !biometric_ || !killSwitch_) {
        throw std::invalid_argument("a resolver needs an item source, a biometric gate and a kill switch");
    }
}

VaultUDSResponse VaultResolver::handle(const VaultUDSRequest& request) const {
    try {
        switch (request.op) {
            case VaultUDSRequest::Op::resolve: return resolve(request);
            case VaultUDSRequest::Op::preview: return preview(request);
            default: return VaultUDSResponse::refusal();
        }
    } catch (...) {
        // A faulty item source or gate is a refusal, never a crash of the connection.
        return VaultUDSResponse::refusal();
    }
}

std::optional<ResolvedItem> VaultResolver::lookup(const VaultUDSRequest& request) const {
    if (killSwitch_() || !request.ref) return std::nullopt;
    VaultRef ref;
    try {
        ref = VaultRef::parse(*request.ref);
    } catch (const VaultRef::ParseError&) {
        return std::nullopt;
    }
    return source_->lookup(ref);
}

VaultUDSResponse VaultResolver::resolve(const VaultUDSRequest& request) const {
    auto item = lookup(request);
    if (!item) return VaultUDSResponse::refusal();

    VaultUDSResponse answer;
    answer.aiAccess = item->aiAccess;
    auto release = [&] {
        answer.decision = UDSDecision::allowed;
        answer.value = std::move(item->value);
        answer.type = std::move(item->type);
        answer.allowedHosts = std::move(item->allowedHosts);
        answer.allowedCommands = std::move(item->allowedCommands);
    };
    switch (item->aiAccess) {
        case UDSAIAccess::injectable: release(); break;
        case UDSAIAccess::humanGated:
            if (item->type == "username") {
                release();
            } else if (request.approved != true) {
                answer.decision = UDSDecision::needsApproval;
                answer.type = std::move(item->type);
            } else if (biometric_->authenticate("Reveal " + promptName(item->name) + " to an automated action")) {
                release();
            } else {
                answer.decision = UDSDecision::refused;
            }
            break;
        case UDSAIAccess::aiHidden: answer.decision = UDSDecision::refused; break;
    }
    wipe(item->value);
    return answer;
}

VaultUDSResponse VaultResolver::preview(const VaultUDSRequest& request) const {
    auto item = lookup(request);
    if (!item || item->aiAccess == UDSAIAccess::aiHidden) {
        if (item) wipe(item->value);
        return VaultUDSResponse::refusal();
    }
    VaultUDSResponse answer;
    answer.decision = UDSDecision::allowed;
    answer.aiAccess = item->aiAccess;
    answer.type = std::move(item->type);
    auto tail = graphemeTail(item->value, kLast4);
    answer.length = static_cast<std::int64_t>(tail.count);
    if (item->aiAccess == UDSAIAccess::injectable && tail.count >= kLast4MinimumLength) {
        answer.last4 = std::string(tail.tail);
    }
    answer.url = std::move(item->url);
    answer.allowedHosts = std::move(item->allowedHosts);
    wipe(item->value);
    return answer;
}

std::vector<VaultUDSListEntry> VaultResolver::listEntries(const VaultUDSRequest& request) const {
    if (killSwitch_()) return {};
    return source_->list(request.collection, request.query);
}

void VaultResolver::stopIfKillSwitch() const {
    if (killSwitch_()) throw VaultUDSManagementError(Case::unsupported);
}

VaultUDSSecretMetadata VaultResolver::captureSecret(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->captureSecret(request);
}

VaultUDSSecretMetadata VaultResolver::createSecret(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->createSecret(request);
}

VaultUDSSecretMetadata VaultResolver::getSecret(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->getSecret(request);
}

// The item source decides, on the one item it found, whether the change needs the owner's yes:
// a second lookup here could land on another item of the same name.
VaultUDSSecretMetadata VaultResolver::updateSecret(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->updateSecret(request, ownerApproval());
}

VaultUDSDeleteResult VaultResolver::deleteSecret(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->deleteSecret(request, ownerApproval());
}

VaultItemSource::ApproveChange VaultResolver::ownerApproval() const {
    return [gate = biometric_](const std::string& reason) { return gate->authenticate(reason); };
}

VaultUDSGroupList VaultResolver::listGroups() const { return source_->listGroups(); }

VaultUDSGroup VaultResolver::createGroup(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->createGroup(request);
}

VaultUDSGroup VaultResolver::getGroup(const VaultUDSRequest& request) const { return source_->getGroup(request); }

VaultUDSGroup VaultResolver::updateGroup(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->updateGroup(request);
}

VaultUDSDeleteResult VaultResolver::deleteGroup(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->deleteGroup(request, ownerApproval());
}

VaultUDSProjectList VaultResolver::listProjects() const { return source_->listProjects(); }

VaultUDSProject VaultResolver::createProject(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->createProject(request);
}

VaultUDSProject VaultResolver::getProject(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->getProject(request);
}

VaultUDSProject VaultResolver::updateProject(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->updateProject(request);
}

VaultUDSDeleteResult VaultResolver::deleteProject(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->deleteProject(request, ownerApproval());
}

VaultUDSBrowserMatches VaultResolver::browserMatch(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->browserMatch(request);
}

VaultUDSBrowserFill VaultResolver::browserFill(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->browserFill(request);
}

VaultUDSBrowserTotp VaultResolver::browserTotp(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->browserTotp(request);
}

VaultUDSSecretMetadata VaultResolver::browserSave(const VaultUDSRequest& request) const {
    stopIfKillSwitch();
    return source_->browserSave(request);
}

}  // namespace vael
