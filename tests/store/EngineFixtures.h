#pragma once

#include "ScriptedSyncAPI.h"
#include "StoreFixtures.h"
#include "store/RecordJson.h"
#include "store/SyncEngine.h"

namespace vael::test {

// One replica, a scripted server, a manual clock and a scripted pause around one engine.
struct EngineEnv {
    TempDir dir;
    std::shared_ptr<VaelStore> store = std::make_shared<VaelStore>(dir.file("replica.sqlite").string());
    std::shared_ptr<ScriptedSyncAPI> api = std::make_shared<ScriptedSyncAPI>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(sampleTime(std::chrono::hours(1)));
    std::shared_ptr<ScriptedPause> pause = std::make_shared<ScriptedPause>();
    std::unique_ptr<SyncEngine> engine = std::make_unique<SyncEngine>(store, api, clock, pause);

    std::vector<PendingOpRecord> queue() const { return store->pendingOps(); }
};

inline ItemBody sampleBody(int n, std::int64_t revision = 5, const std::string& content = "mine") {
    return ItemBody::fromRecord([&] {
        auto r = sampleItem(n);
        r.revision = revision;
        r.contentBlob = bytesOf(content);
        return r;
    }());
}

enum class Net { ok, conflict, offline, transport, foreign };

inline const char* nameOf(Net net) {
    switch (net) {
        case Net::ok: return "ok";
        case Net::conflict: return "conflict";
        case Net::offline: return "offline";
        case Net::transport: return "transport";
        case Net::foreign: return "foreign error";
    }
    return "?";
}

inline ScriptedSyncAPI::Outcome outcomeOf(Net net, std::int64_t conflictRevision = 7) {
    switch (net) {
        case Net::ok: return ScriptedSyncAPI::Outcome::ok();
        case Net::conflict: return ScriptedSyncAPI::Outcome::conflict(conflictRevision);
        case Net::offline: return ScriptedSyncAPI::Outcome::offline();
        case Net::transport: return ScriptedSyncAPI::Outcome::transport();
        case Net::foreign: return ScriptedSyncAPI::Outcome::foreign();
    }
    return {};
}

inline constexpr Net kAllNets[] = {Net::ok, Net::conflict, Net::offline, Net::transport, Net::foreign};

}  // namespace vael::test
