#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/platform/PresenceSeams.h"

namespace vael {

// polkit's CheckAuthorization for this process, allowing the desktop's agent to ask the owner.
// Our action's policy asks the user themself every time and keeps nothing (packaging/polkit/).
class PolkitPresenceAuthority final : public PresenceAuthority {
public:
    static constexpr const char* kActionID = "com.dastrel.vael.authenticate";

    explicit PolkitPresenceAuthority(std::string actionID = kActionID);

    // True when the system bus is there and polkit's authority is running or can be started.
    bool canAsk() override;
    // False only when polkit answers and our action is not among its registered ones (the policy
    // file was not installed, as a per-user install leaves it). Unsure answers true.
    bool knowsAction() override;
    // No system bus, no authority, no agent, a dismissed or failed check: false.
    bool authorize() override;
    BiometricGate::Answer check() override;

private:
    std::string actionID_;
};

// The process start time (field 22 of /proc/<pid>/stat, in clock ticks since boot), which polkit
// uses with the pid so that a recycled pid cannot pass for this process. The command name in
// field 2 may hold spaces and parentheses.
std::optional<std::uint64_t> processStartTime(std::string_view statLine);

}  // namespace vael
