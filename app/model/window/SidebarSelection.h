#pragma once

#include <string>

#include "core/Uuid.h"

namespace vael {

// What the sidebar has chosen for the item list: every item, the one-time codes, one AI access tier
// or one group with everything below it.
struct SidebarSelection {
    enum class Kind { all, codes, tier, group };

    Kind kind = Kind::all;
    std::string tier;  // tier only: the identifier, compared exactly
    Uuid group;        // group only

    static SidebarSelection all() { return {}; }
    static SidebarSelection codes() { return {Kind::codes, {}, {}}; }
    static SidebarSelection forTier(std::string id) { return {Kind::tier, std::move(id), {}}; }
    static SidebarSelection forGroup(Uuid id) { return {Kind::group, {}, id}; }

    bool operator==(const SidebarSelection&) const = default;
};

}  // namespace vael
