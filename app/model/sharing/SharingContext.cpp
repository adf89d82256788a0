#include "app/model/sharing/SharingContext.h"

#include <algorithm>

namespace vael {

std::string SharingContext::folderName(const Uuid& id) const {
    for (const auto& folder : folders) {
        if (folder.id == id) return folder.name;
    }
    return id.text().substr(0, 8);
}

namespace SharingRoles {

const std::vector<std::string>& all() {
    static const std::vector<std::string> roles{"owner", "admin", "member", "viewer"};
    return roles;
}

bool isRole(const std::string& role) { return std::find(all().begin(), all().end(), role) != all().end(); }

std::vector<std::string> assignableBy(const std::string& callerRole) {
    const auto& roles = all();
    auto found = std::find(roles.begin(), roles.end(), callerRole);
    if (found == roles.end()) return {"viewer"};
    return std::vector<std::string>(found, roles.end());
}

}  // namespace SharingRoles

std::vector<Uuid> sortedByText(std::vector<Uuid> ids) {
    std::stable_sort(ids.begin(), ids.end(), [](const Uuid& a, const Uuid& b) { return a.text() < b.text(); });
    return ids;
}

}  // namespace vael
