#pragma once

// The whole path to the server over loopback: a replica, a sync engine, the adapter, a relay and a
// real client, and the in-process server.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <ostream>
#include <string>

#include "FakeVaelServer.h"
#include "RelayClient.h"
#include "api/Base64URL.h"
#include "api/VaelAPIClient.h"
#include "app/sync/SyncAPIAdapter.h"
#include "store/ScriptedSyncAPI.h"
#include "store/StoreFixtures.h"
#include "store/SyncEngine.h"

namespace vael {

// Readable failures: the case and its payload rather than the object's bytes.
inline void PrintTo(const SyncAPIError& error, std::ostream* os) {
    switch (error.kind()) {
        case SyncAPIError::Kind::conflict: *os << "conflict(" << error.currentRevision() << ")"; return;
        case SyncAPIError::Kind::transport: *os << "transport(\"" << error.message() << "\")"; return;
        case SyncAPIError::Kind::offline: *os << "offline"; return;
        case SyncAPIError::Kind::notFound: *os << "notFound"; return;
    }
}

}  // namespace vael

namespace vael::test {

inline VaelAPIClientOptions patientOptions() {
    VaelAPIClientOptions options;
    options.connectTimeout = std::chrono::milliseconds(2000);
    options.totalTimeout = std::chrono::milliseconds(5000);
    return options;
}

// For a server that never answers: the client gives up soon.
inline VaelAPIClientOptions impatientOptions() {
    VaelAPIClientOptions options;
    options.connectTimeout = std::chrono::milliseconds(500);
    options.totalTimeout = std::chrono::milliseconds(300);
    return options;
}

// A client whose server has gone: nothing listens at its port.
inline std::shared_ptr<VaelAPIClient> unreachableClient() {
    std::string address;
    {
        fake::FakeVaelServer gone;
        address = gone.baseURL();
    }
    return std::make_shared<VaelAPIClient>(address, impatientOptions());
}

inline std::string b64(std::string_view text) { return Base64URL::encode(bytesOf(text)); }

// The JSON body of the server's last request of that operation.
inline nlohmann::json lastBody(const fake::FakeVaelServer& server, std::string_view operation) {
    const auto calls = server.calls();
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
        if (it->operation == operation) return nlohmann::json::parse(it->body);
    ADD_FAILURE() << "no " << operation << " request";
    return {};
}

inline std::vector<std::string> operations(const fake::FakeVaelServer& server) {
    std::vector<std::string> names;
    for (const auto& call : server.calls()) names.push_back(call.operation);
    return names;
}

// A project and one group in it on the server.
inline void seedGroup(fake::FakeVaelServer& server, const Uuid& org, const Uuid& group) {
    server.addOrg({org, b64("org")});
    fake::FakeVaelServer::Collection collection;
    collection.id = group;
    collection.orgId = org;
    collection.nameBlob = b64("group");
    collection.wrappedKey = b64("group key");
    server.addCollection(collection);
}

// Members go in reverse on destruction, so every client is gone before the server stops.
struct SyncEnv {
    explicit SyncEnv(VaelAPIClientOptions options = patientOptions())
        : client(std::make_shared<VaelAPIClient>(server.baseURL(), options)) {}

    fake::FakeVaelServer server;
    std::shared_ptr<VaelAPIClient> client;
    std::shared_ptr<RelayClient> relay = std::make_shared<RelayClient>(client);
    std::shared_ptr<SyncAPIAdapter> adapter = std::make_shared<SyncAPIAdapter>(relay);
    TempDir dir;
    std::shared_ptr<VaelStore> store = std::make_shared<VaelStore>(dir.file("replica.sqlite").string());
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(sampleTime());
    std::shared_ptr<ScriptedPause> pause = std::make_shared<ScriptedPause>();
    std::shared_ptr<SyncEngine> engine = std::make_shared<SyncEngine>(store, adapter, clock, pause);
};

}  // namespace vael::test
