#pragma once

#include <fstream>

#include "FakeVaelServer.h"
#include "ModelFixtures.h"
#include "auth/ScriptedPasskeyCeremony.h"

namespace vael::testing {

// A model whose server client talks to an in-process server, with a scripted passkey.
struct ServerHarness {
    fake::FakeVaelServer server;  // outlives the model's client
    std::shared_ptr<ScriptedPasskeyCeremony> passkey = std::make_shared<ScriptedPasskeyCeremony>();
    std::shared_ptr<InMemorySessionStore> sessions = std::make_shared<InMemorySessionStore>();
    ModelHarness h{services(true)};

    explicit ServerHarness() = default;
    AppModelServices services(bool withCeremony) {
        AppModelServices s;
        s.serverBaseURL = server.baseURL();
        if (withCeremony) s.ceremony = passkey;
        s.sessions = sessions;
        return s;
    }
    AppModel& model() { return *h.model; }
    VaultConfig config() { return VaultConfigStore(h.home.paths().vaultConfig).load(); }
    void connect(const std::string& handle) { QCoro::waitFor(model().connectToServer(handle)); }
    void unlockWithPasskey(bool quiet) { QCoro::waitFor(model().unlockWithPasskey(quiet)); }
};

}  // namespace vael::testing
