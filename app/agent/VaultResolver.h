#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "app/agent/VaultItemSource.h"
#include "app/custody/BiometricGate.h"

namespace vael {

// Decides what an agent receives: the kill switch, the item's tier and the user's approval stand
// between every request and the item source. Holds no state between requests; shared by every
// connection thread at once.
class VaultResolver {
public:
    // killSwitch answers whether agents are shut out; it is read at the start of every request
    // and must be safe to call from any thread. Throws std::invalid_argument when any is missing.
    VaultResolver(std::shared_ptr<VaultItemSource> source, std::shared_ptr<BiometricGate> biometric,
                  std::function<bool()> killSwitch);

    // Whether the kill switch lets agents in now.
    bool agentsAllowed() const { return !killSwitch_(); }

    // resolve and preview; every other op is refused. Never throws.
    VaultUDSResponse handle(const VaultUDSRequest& request) const;
    // Empty while the kill switch is on; otherwise the item source's list. Its errors pass up.
    std::vector<VaultUDSListEntry> listEntries(const VaultUDSRequest& request) const;

    // Management and browser operations: the kill switch (except listGroups, getGroup and
    // listProjects), then the item source, which asks the owner (through the gate, with no lock
    // held) about deletions and guarded changes, naming what it found.
    VaultUDSSecretMetadata captureSecret(const VaultUDSRequest& request) const;
    VaultUDSSecretMetadata createSecret(const VaultUDSRequest& request) const;
    VaultUDSSecretMetadata getSecret(const VaultUDSRequest& request) const;
    VaultUDSSecretMetadata updateSecret(const VaultUDSRequest& request) const;
    VaultUDSDeleteResult deleteSecret(const VaultUDSRequest& request) const;
    VaultUDSGroupList listGroups() const;
    VaultUDSGroup createGroup(const VaultUDSRequest& request) const;
    VaultUDSGroup getGroup(const VaultUDSRequest& request) const;
    VaultUDSGroup updateGroup(const VaultUDSRequest& request) const;
    VaultUDSDeleteResult deleteGroup(const VaultUDSRequest& request) const;
    VaultUDSProjectList listProjects() const;
    VaultUDSProject createProject(const VaultUDSRequest& request) const;
    VaultUDSProject getProject(const VaultUDSRequest& request) const;
    VaultUDSProject updateProject(const VaultUDSRequest& request) const;
    VaultUDSDeleteResult deleteProject(const VaultUDSRequest& request) const;
    VaultUDSBrowserMatches browserMatch(const VaultUDSRequest& request) const;
    VaultUDSBrowserFill browserFill(const VaultUDSRequest& request) const;
    VaultUDSBrowserTotp browserTotp(const VaultUDSRequest& request) const;
    VaultUDSSecretMetadata browserSave(const VaultUDSRequest& request) const;

private:
    VaultUDSResponse resolve(const VaultUDSRequest& request) const;
    VaultUDSResponse preview(const VaultUDSRequest& request) const;
    std::optional<ResolvedItem> lookup(const VaultUDSRequest& request) const;
    void stopIfKillSwitch() const;
    VaultItemSource::ApproveChange ownerApproval() const;

    std::shared_ptr<VaultItemSource> source_;
    std::shared_ptr<BiometricGate> biometric_;
    std::function<bool()> killSwitch_;
};

}  // namespace vael
