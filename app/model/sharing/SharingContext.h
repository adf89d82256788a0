#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "api/InviteAPI.h"
#include "app/custody/TrustedKeyStore.h"
#include "core/Uuid.h"
#include "crypto/VaultCrypto.h"

namespace vael {

// One group that may be shared.
struct SharingFolder {
    Uuid id;
    std::string name;
    bool operator==(const SharingFolder&) const = default;
};

// The open key of each shareable group, by group id.
using SharingKeys = std::map<Uuid, CollectionKey>;

// Everything the sharing screens work with for one project, on behalf of the signed-in user. A plain
// value: the members screen hands copies to each sheet it opens.
struct SharingContext {
    std::shared_ptr<InviteAPI> api;
    std::shared_ptr<VaultCrypto> vault;
    std::shared_ptr<TrustedKeyStore> trustStore;
    Uuid orgID;
    std::string callerRole;
    std::string orgLabel;
    std::string inviterLabel;
    std::string publicBaseURL;  // scheme, host and any port; no trailing slash
    std::vector<SharingFolder> folders;
    SharingKeys collectionKeys;  // an entry for every folder

    // The first folder's name with that id, else the id's first group ("00000000").
    std::string folderName(const Uuid& id) const;
};

namespace SharingRoles {
// "owner", "admin", "member", "viewer", in that order; compared exactly.
const std::vector<std::string>& all();
bool isRole(const std::string& role);
// The caller's own role and every role after it; "viewer" alone for any other text.
std::vector<std::string> assignableBy(const std::string& callerRole);
}  // namespace SharingRoles

// Lists sent to the server are ordered by the ids' upper-case text, which is their byte order.
std::vector<Uuid> sortedByText(std::vector<Uuid> ids);

}  // namespace vael
