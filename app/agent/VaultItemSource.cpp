#include "app/agent/VaultItemSource.h"

namespace vael {

namespace {

[[noreturn]] void unsupported() {
    throw VaultUDSManagementError(VaultUDSManagementError::Case::unsupported);
}

const char* captureMessage(CredentialCaptureError::Case c) {
    switch (c) {
        case CredentialCaptureError::Case::cancelled: return "the capture was cancelled";
        case CredentialCaptureError::Case::noPresenter: return "nothing can ask the user for a login";
        case CredentialCaptureError::Case::invalidOrigin: return "the origin is not a web address";
    }
    return "the capture failed";
}

}  // namespace

CredentialCaptureError::CredentialCaptureError(Case c) : std::runtime_error(captureMessage(c)), case_(c) {}

VaultUDSSecretMetadata VaultItemSource::captureSecret(const VaultUDSRequest&) { unsupported(); }
VaultUDSSecretMetadata VaultItemSource::createSecret(const VaultUDSRequest&) { unsupported(); }
VaultUDSSecretMetadata VaultItemSource::getSecret(const VaultUDSRequest&) { unsupported(); }
VaultUDSSecretMetadata VaultItemSource::updateSecret(const VaultUDSRequest&, const ApproveChange&) { unsupported(); }
VaultUDSDeleteResult VaultItemSource::deleteSecret(const VaultUDSRequest&, const ApproveChange&) { unsupported(); }
VaultUDSGroupList VaultItemSource::listGroups() { unsupported(); }
VaultUDSGroup VaultItemSource::createGroup(const VaultUDSRequest&) { unsupported(); }
VaultUDSGroup VaultItemSource::getGroup(const VaultUDSRequest&) { unsupported(); }
VaultUDSGroup VaultItemSource::updateGroup(const VaultUDSRequest&) { unsupported(); }
VaultUDSDeleteResult VaultItemSource::deleteGroup(const VaultUDSRequest&, const ApproveChange&) { unsupported(); }
VaultUDSProjectList VaultItemSource::listProjects() { unsupported(); }
VaultUDSProject VaultItemSource::createProject(const VaultUDSRequest&) { unsupported(); }
VaultUDSProject VaultItemSource::getProject(const VaultUDSRequest&) { unsupported(); }
VaultUDSProject VaultItemSource::updateProject(const VaultUDSRequest&) { unsupported(); }
VaultUDSDeleteResult VaultItemSource::deleteProject(const VaultUDSRequest&, const ApproveChange&) { unsupported(); }
VaultUDSBrowserMatches VaultItemSource::browserMatch(const VaultUDSRequest&) { unsupported(); }
VaultUDSBrowserFill VaultItemSource::browserFill(const VaultUDSRequest&) { unsupported(); }
VaultUDSBrowserTotp VaultItemSource::browserTotp(const VaultUDSRequest&) { unsupported(); }
VaultUDSSecretMetadata VaultItemSource::browserSave(const VaultUDSRequest&) { unsupported(); }

}  // namespace vael
