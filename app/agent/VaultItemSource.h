#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/agent/VaultRef.h"
#include "app/agent/VaultUDSAnswers.h"
#include "app/agent/VaultUDSRequest.h"

namespace vael {

// Everything the agent protocol needs of the vault. Calls block their caller and may come from
// several connection threads at once: an implementation serialises its own shared state.
// Every operation from captureSecret on throws VaultUDSManagementError(unsupported) unless
// overridden; failures an agent should understand are VaultUDSManagementError.
class VaultItemSource {
public:
    // Asks the owner to approve a change; the reason names the item. False refuses it.
    using ApproveChange = std::function<bool(const std::string& reason)>;

    virtual ~VaultItemSource() = default;

    // The decrypted field the reference names, or nothing when nothing matches or anything fails
    // (a locked vault included). Never throws.
    virtual std::optional<ResolvedItem> lookup(const VaultRef& ref) = 0;
    // Entries in the order they are sent. Lists only what agents may see: never an ai_hidden item,
    // never a value.
    virtual std::vector<VaultUDSListEntry> list(const std::optional<std::string>& collection,
                                                const std::optional<std::string>& query) = 0;

    virtual VaultUDSSecretMetadata captureSecret(const VaultUDSRequest& request);
    virtual VaultUDSSecretMetadata createSecret(const VaultUDSRequest& request);
    virtual VaultUDSSecretMetadata getSecret(const VaultUDSRequest& request);
    // Asks `approve` before a tier change, and before any change to an item that is not injectable
    // that widens what agents or browser operations can read of it (a field's kind, the website,
    // allowed hosts or commands); the check and the write concern the one item found. A refusal
    // throws VaultUDSManagementError(cancelled) and writes nothing.
    virtual VaultUDSSecretMetadata updateSecret(const VaultUDSRequest& request, const ApproveChange& approve);
    // Finds the item, asks `approve` naming it, then deletes that item.
    virtual VaultUDSDeleteResult deleteSecret(const VaultUDSRequest& request, const ApproveChange& approve);
    // `approve` is called with no lock held and may block for as long as the owner takes; what was
    // asked about is found again by id afterwards (a deletion of something renamed, moved or deleted
    // meanwhile is notFound).
    virtual VaultUDSGroupList listGroups();
    virtual VaultUDSGroup createGroup(const VaultUDSRequest& request);
    virtual VaultUDSGroup getGroup(const VaultUDSRequest& request);
    virtual VaultUDSGroup updateGroup(const VaultUDSRequest& request);
    // Find the group or project, ask `approve` naming it and how many items go with it, then delete it.
    virtual VaultUDSDeleteResult deleteGroup(const VaultUDSRequest& request, const ApproveChange& approve);
    virtual VaultUDSProjectList listProjects();
    virtual VaultUDSProject createProject(const VaultUDSRequest& request);
    virtual VaultUDSProject getProject(const VaultUDSRequest& request);
    virtual VaultUDSProject updateProject(const VaultUDSRequest& request);
    virtual VaultUDSDeleteResult deleteProject(const VaultUDSRequest& request, const ApproveChange& approve);
    virtual VaultUDSBrowserMatches browserMatch(const VaultUDSRequest& request);
    virtual VaultUDSBrowserFill browserFill(const VaultUDSRequest& request);
    virtual VaultUDSBrowserTotp browserTotp(const VaultUDSRequest& request);
    virtual VaultUDSSecretMetadata browserSave(const VaultUDSRequest& request);
};

// The login a user entered for an agent.
struct CapturedCredential {
    std::string name;
    std::optional<std::string> username;
    std::string password;
    std::optional<std::string> otpSecret;
    UDSAIAccess aiAccess = UDSAIAccess::humanGated;
    std::optional<std::string> group;  // none: the default group

    bool operator==(const CapturedCredential&) const = default;
};

class CredentialCaptureError : public std::runtime_error {
public:
    enum class Case { cancelled, noPresenter, invalidOrigin };
    explicit CredentialCaptureError(Case c);
    Case code() const { return case_; }

private:
    Case case_;
};

// Asks the user for a login on an agent's behalf. Blocks until the user answers; never throws.
// Nothing means the user cancelled. May be called from several threads at once, never on the
// main thread: an implementation that shows a window moves there itself.
class CredentialCapturePresenter {
public:
    virtual ~CredentialCapturePresenter() = default;
    virtual std::optional<CapturedCredential> present(const std::string& origin,
                                                      const std::optional<std::string>& suggestedName) = 0;
};

}  // namespace vael
