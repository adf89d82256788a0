#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/model/AppModel.h"

namespace vael {

// What the toolbar's sync pill shows, decided from the model's sync state alone.
struct SyncPillText {
    enum class Tone { secondary, green, orange };

    std::optional<std::string> symbol;  // none: the small spinner of a run under way
    Tone symbolTone = Tone::secondary;
    std::string text;
    Tone textTone = Tone::secondary;
    std::optional<std::string> conflictSuffix;  // "· N kept yours", orange; none without conflicts
    std::string tooltip;

    bool operator==(const SyncPillText&) const = default;
};

// `host` is the server's host name, as serverHost() reads it from the model's endpoint.
SyncPillText syncPillText(const AppSyncStatus& status, qint64 conflicts,
                          const std::optional<std::string>& failureReason, std::string_view host);

// The host name of a server endpoint URL; empty when it has none.
std::string serverHost(std::string_view endpoint);

}  // namespace vael
