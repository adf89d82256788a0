#include "app/model/window/SyncPillText.h"

#include <QString>
#include <QUrl>

namespace vael {

SyncPillText syncPillText(const AppSyncStatus& status, qint64 conflicts,
                          const std::optional<std::string>& failureReason, std::string_view host) {
    using Tone = SyncPillText::Tone;
    SyncPillText pill;
    auto mark = [&](const char* symbol, Tone tone, const char* text) {
        pill.symbol = symbol;
        pill.symbolTone = tone;
        pill.text = text;
    };
    switch (status.kind) {
        case AppSyncStatus::Kind::synced: mark("checkmark.icloud.fill", Tone::green, "Synced"); break;
        case AppSyncStatus::Kind::idle: mark("checkmark.seal.fill", Tone::green, "Connected"); break;
        case AppSyncStatus::Kind::syncing: pill.text = "Syncing\u2026"; break;
        case AppSyncStatus::Kind::offline:
            mark("icloud.slash.fill", Tone::orange, "Offline");
            pill.textTone = Tone::orange;
            break;
    }
    if (conflicts > 0) pill.conflictSuffix = "\u00B7 " + std::to_string(conflicts) + " kept yours";
    if (status.kind == AppSyncStatus::Kind::offline) {
        pill.tooltip = "Last sync failed: " + failureReason.value_or("server unreachable") +
                       " \u2014 retrying automatically.";
    } else {
        pill.tooltip = "Vault sync with " + std::string(host);
    }
    return pill;
}

std::string serverHost(std::string_view endpoint) {
    return QUrl(QString::fromUtf8(endpoint.data(), static_cast<qsizetype>(endpoint.size()))).host().toStdString();
}

}  // namespace vael
