#include <gtest/gtest.h>

#include <fstream>
#include <future>

#include "ServerFixtures.h"
#include "app/auth/AccountError.h"

namespace vael {
namespace {

using testing::ModelHarness;
using testing::ScriptedPasskeyCeremony;
using testing::ServerHarness;
using testing::readFile;
using Phase = AppModel::Phase;

TEST(ServerConnection, DescribeGivesEachAccountFailureItsSentence) {
    const std::string fallback = "fallback.";
    const std::pair<AccountError, const char*> cases[] = {
        {AccountError::ceremonyCancelled(), "Security key was cancelled."},
        {AccountError::serverRejected(), "The server rejected the passkey."},
        {AccountError::handleTaken(), "That handle is already taken."},
        {AccountError::offline(), "The server is unreachable \u2014 you can still unlock with your passphrase offline."},
        {AccountError::decoding(), "fallback."},
        {AccountError::ceremonyUnavailable("prf unlock failed"), "fallback."},
    };
    for (const auto& [error, sentence] : cases)
        EXPECT_EQ(AppModel::describeAccountFailure(std::make_exception_ptr(error), fallback), sentence) << error.what();
    EXPECT_EQ(AppModel::describeAccountFailure(std::make_exception_ptr(std::runtime_error("disk full")), fallback), fallback);
}

TEST(ServerConnection, ConnectRecordsTheAccountReplacesThePasskeyKeyAndSyncsOnce) {
    ServerHarness s;
    s.h.create();
    VaultConfigStore store(s.h.home.paths().vaultConfig);
    // An earlier passkey's key goes; the keys of the other methods stay in front, in their order.
    const auto otherKeys = s.config().wrappedKeys;
    store.update([](VaultConfig& c) {
        c.wrappedKeys.insert(c.wrappedKeys.begin() + 1, WrappedKey{UnlockMethod::prf, std::nullopt, Bytes{9}});
    });

    // A change another writer makes while the server is being asked survives the connection's write.
    s.passkey->failNextRegistration([&] { store.update([](VaultConfig& c) { c.autoLockMinutes = 7; }); });
    s.connect("ana ");

    auto& m = s.model();
    EXPECT_FALSE(m.errorMessage()) << *m.errorMessage();
    EXPECT_TRUE(m.isServerConnected());
    EXPECT_TRUE(m.isPasskeyEnrolled());
    const auto config = s.config();
    const auto account = s.server.account("ana ");
    ASSERT_TRUE(account);
    ASSERT_TRUE(config.serverAccount);
    EXPECT_EQ(*config.serverAccount, (ServerAccount{m.serverEndpoint(), "ana ", account->id.text()}));
    EXPECT_TRUE(config.serverAccount->baseURL.ends_with("/api/v1"));
    ASSERT_EQ(config.wrappedKeys.size(), otherKeys.size() + 1);
    EXPECT_TRUE(std::equal(otherKeys.begin(), otherKeys.end(), config.wrappedKeys.begin()));
    EXPECT_EQ(config.wrappedKeys.back().method, UnlockMethod::prf);
    EXPECT_NE(config.wrappedKeys.back().sealedKey, Bytes{9});
    EXPECT_EQ(config.autoLockMinutes, std::optional<std::int64_t>(7));
    EXPECT_TRUE(s.sessions->entry());

    // The run had ended by the time the connection returned; it registered the default project.
    EXPECT_EQ(m.syncStatus().kind, AppSyncStatus::Kind::synced);
    EXPECT_EQ(s.server.callCount("sync"), 1);
    EXPECT_TRUE(s.server.org(AppModel::localOrgID()));
    EXPECT_EQ(s.config().serverBootstrapped, std::optional<bool>(true));
}

TEST(ServerConnection, ThePasskeyUnlocksTheVaultAfterALockAndSyncs) {
    ServerHarness s;
    s.h.create();
    s.connect("ana");
    ASSERT_TRUE(s.model().isServerConnected());
    s.h.lock();
    EXPECT_FALSE(s.model().isServerConnected());

    s.unlockWithPasskey(false);
    auto& m = s.model();
    EXPECT_FALSE(m.errorMessage()) << *m.errorMessage();
    EXPECT_EQ(m.phase(), Phase::unlocked);
    EXPECT_TRUE(m.isServerConnected());
    EXPECT_TRUE(testing::fileExists(s.h.socket()));
    EXPECT_TRUE(testing::spinUntil([&] { return m.syncStatus().kind == AppSyncStatus::Kind::synced; }));

    // Bootstrap now sees the enrolment.
    s.h.lock();
    m.bootstrap();
    EXPECT_TRUE(m.isPasskeyEnrolled());
}

TEST(ServerConnection, ConnectFailuresSaySoAndLeaveTheFileAlone) {
    ServerHarness s;
    // Not open: locked, then accepting an invite.
    s.h.create();
    s.h.lock();
    s.connect("ana");
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>(std::string(AppModel::kConnectNeedsUnlock)));
    s.h.unlock();
    s.model().handleInviteURL("https://h.example/invite#tok");
    s.model().setErrorMessage(std::nullopt);
    s.connect("ana");
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>(std::string(AppModel::kConnectNeedsUnlock)));
    s.model().dismissInvite();
    EXPECT_EQ(s.passkey->registrations.size(), 0u);

    const auto before = readFile(s.h.home.paths().vaultConfig);
    s.server.addAccount(fake::FakeVaelServer::Account{Uuid::random(), "taken", "x", "ed", "w", "", {}, {}});
    struct Case {
        std::string handle;
        std::function<void()> prepare;
        const char* sentence;
    };
    const Case cases[] = {
        {"taken", [] {}, "That handle is already taken."},
        {"ana", [&] { s.passkey->failNextRegistration([] { throw AccountError::ceremonyCancelled(); }); },
         "Security key was cancelled."},
        {"ana", [&] { s.server.answerNext("beginRegistration", 500, R"({"error":"boom"})"); },
         "The server rejected the passkey."},
        // The vault is open: no advice about unlocking offline.
        {"ana", [&] { s.passkey->failNextRegistration([] { throw AccountError::offline(); }); },
         "The server is unreachable."},
    };
    for (const auto& c : cases) {
        c.prepare();
        s.connect(c.handle);
        EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>(c.sentence)) << c.sentence;
        EXPECT_FALSE(s.model().isServerConnected());
        EXPECT_FALSE(s.model().isPasskeyEnrolled());
        EXPECT_EQ(readFile(s.h.home.paths().vaultConfig), before);
    }
    EXPECT_EQ(s.server.callCount("sync"), 0);
}

TEST(ServerConnection, PasskeyUnlockFailures) {
    ServerHarness s;
    s.h.create();
    // No server account: no ceremony is asked.
    s.h.lock();
    s.unlockWithPasskey(false);
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>(std::string(AppModel::kNoServerAccount)));
    EXPECT_EQ(s.passkey->assertions.size(), 0u);

    s.h.unlock();
    s.connect("ana");
    s.h.lock();
    const auto assertionsAfterConnect = s.passkey->assertions.size();

    // A cancelled prompt is quiet only when asked to be.
    s.model().setErrorMessage("earlier");
    s.passkey->failNextAssertion([] { throw AccountError::ceremonyCancelled(); });
    s.unlockWithPasskey(true);
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>("earlier"));
    s.passkey->failNextAssertion([] { throw AccountError::ceremonyCancelled(); });
    s.unlockWithPasskey(false);
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>("Security key was cancelled."));
    // No security key plugged in is as quiet as a cancel; a manual attempt says it failed.
    s.passkey->failNextAssertion([] { throw AccountError::noSecurityKey(); });
    s.unlockWithPasskey(true);
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>("Security key was cancelled."));

    // A passkey whose output opens nothing is the fallback; the vault stays locked.
    s.passkey->failNextAssertion([] { throw AccountError::ceremonyUnavailable("no authenticator"); });
    s.unlockWithPasskey(false);
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>(std::string(AppModel::kPasskeyUnlockFailed)));
    EXPECT_EQ(s.model().phase(), Phase::locked);
    EXPECT_FALSE(s.model().vault()->isUnlocked());
    EXPECT_FALSE(s.model().isServerConnected());
    EXPECT_EQ(s.passkey->assertions.size(), assertionsAfterConnect + 4);

    // While a session is open, nothing is asked.
    s.h.unlock();
    s.unlockWithPasskey(false);
    EXPECT_EQ(s.passkey->assertions.size(), assertionsAfterConnect + 4);
}

// A security key opens the same files as a passphrase: a storage fault is named with its file and
// cause, not passed off as the key's failure, and nothing on disk changes.
TEST(ServerConnection, StorageFaultsOnPasskeyUnlockNameTheFileAndChangeNothing) {
    struct Case {
        const char* name;
        std::function<void(const VaelPaths&)> breakIt;
        bool namesSettings;
        const char* expected;  // a part of the message
    };
    const Case cases[] = {
        {"garbage settings", [](const VaelPaths& p) { testing::writeFile(p.vaultConfig, "\x01garbage{"); }, true, "is damaged"},
        {"missing replica", [](const VaelPaths& p) { std::filesystem::remove(p.replica); }, false, "is missing"},
        {"garbage replica", [](const VaelPaths& p) { testing::writeFile(p.replica, std::string(8192, 'x')); }, false,
         "(damaged)"},
    };
    for (const auto& c : cases) {
        ServerHarness s;
        s.h.create();
        s.connect("ana");
        s.h.lock();
        const auto& paths = s.h.home.paths();
        for (const auto& suffix : {"-wal", "-shm"}) std::filesystem::remove(paths.replica + suffix);
        c.breakIt(paths);
        const auto config = readFile(paths.vaultConfig);
        const bool replicaThere = std::filesystem::exists(paths.replica);
        const auto replica = replicaThere ? readFile(paths.replica) : std::string();

        s.unlockWithPasskey(false);
        auto& m = s.model();
        EXPECT_EQ(m.phase(), Phase::locked) << c.name;
        EXPECT_FALSE(m.isServerConnected()) << c.name;
        ASSERT_TRUE(m.errorMessage()) << c.name;
        EXPECT_NE(m.errorMessage()->find(c.expected), std::string::npos) << c.name << ": " << *m.errorMessage();
        EXPECT_NE(m.errorMessage()->find(c.namesSettings ? paths.vaultConfig : paths.replica), std::string::npos)
            << c.name;
        EXPECT_EQ(readFile(paths.vaultConfig), config) << c.name;
        EXPECT_EQ(std::filesystem::exists(paths.replica), replicaThere) << c.name;
        if (replicaThere) {
            EXPECT_EQ(readFile(paths.replica), replica) << c.name;
        }
    }
}

// A connected, locked vault whose security key has been asked and waits to be touched.
struct WaitingKey {
    ServerHarness s;
    std::promise<void> touch;
    QCoro::Task<> attempt;

    WaitingKey(bool quiet, bool cancelled) {
        s.h.create();
        s.connect("ana");
        s.h.lock();
        s.passkey->failNextAssertion([touched = touch.get_future().share(), cancelled] {
            touched.wait();
            if (cancelled) throw AccountError::ceremonyCancelled();
        });
        const auto asked = s.passkey->assertions.size();
        attempt = s.model().unlockWithPasskey(quiet);
        EXPECT_TRUE(testing::spinUntil([&] { return s.passkey->assertions.size() > asked; }));
    }
    void touchKey() {
        touch.set_value();
        QCoro::waitFor(attempt);
    }
};

// A passphrase typed while the security key waits opens the vault; the key, touched later or
// cancelled, changes nothing. A wrong passphrase meanwhile leaves the key free to open it.
TEST(ServerConnection, APassphraseWhileTheSecurityKeyWaitsOpensOneSession) {
    for (const bool cancelled : {false, true}) {
        WaitingKey k(false, cancelled);
        auto& s = k.s;
        const auto sessionsBefore = s.h.contexts.size();
        s.h.unlock();
        EXPECT_EQ(s.model().phase(), Phase::unlocked) << cancelled;
        EXPECT_EQ(s.passkey->cancelCount(), 1) << cancelled;  // the key's prompt is taken down
        k.touchKey();
        EXPECT_EQ(s.h.contexts.size(), sessionsBefore + 1) << cancelled;
        EXPECT_EQ(s.model().phase(), Phase::unlocked) << cancelled;
        EXPECT_FALSE(s.model().errorMessage()) << cancelled;
        EXPECT_FALSE(s.model().isServerConnected()) << cancelled;
        EXPECT_FALSE(s.model().isOpening()) << cancelled;
        // The open session still reads its own group key: the key's login unlocked nothing.
        EXPECT_NO_THROW(s.model().vault()->sealBlob(SecureBytes(std::string_view("x")), Uuid::random(),
                                                    s.h.contexts.back().defaultCollectionKey))
            << cancelled;
    }

    WaitingKey k(true, false);
    k.s.h.unlock("wrong");
    EXPECT_EQ(k.s.model().errorMessage(), std::optional<std::string>("Unlock failed \u2014 check your passphrase."));
    k.touchKey();
    EXPECT_EQ(k.s.model().phase(), Phase::unlocked);
    EXPECT_TRUE(k.s.model().isServerConnected());
}

// A lock (sleep, screen lock) while the security key waits: touching it later opens nothing.
TEST(ServerConnection, ALockWhileTheSecurityKeyWaitsWins) {
    WaitingKey k(false, false);
    k.s.model().lockForSystemEvent();
    testing::settle();
    EXPECT_EQ(k.s.passkey->cancelCount(), 1);
    k.touchKey();
    EXPECT_EQ(k.s.model().phase(), Phase::locked);
    EXPECT_FALSE(k.s.model().vault()->isUnlocked());
    EXPECT_FALSE(k.s.model().errorMessage());
}

TEST(ServerConnection, WithoutACeremonyThePasskeyIsUnavailable) {
    fake::FakeVaelServer server;
    AppModelServices services;
    services.serverBaseURL = server.baseURL();
    services.sessions = std::make_shared<InMemorySessionStore>();
    ModelHarness h(std::move(services));
    h.create();
    QCoro::waitFor(h.model->connectToServer("ana"));
    EXPECT_EQ(h.model->errorMessage(), std::optional<std::string>(std::string(AppModel::kConnectFailed)));
    EXPECT_EQ(server.callCount("beginRegistration"), 0);
    h.lock();
    VaultConfigStore(h.home.paths().vaultConfig).update([](VaultConfig& c) {
        c.serverAccount = ServerAccount{"https://h.example/api/v1", "ana", Uuid::random().text()};
    });
    QCoro::waitFor(h.model->unlockWithPasskey(false));
    EXPECT_EQ(h.model->errorMessage(), std::optional<std::string>(std::string(AppModel::kPasskeyUnlockFailed)));
    EXPECT_EQ(h.model->phase(), Phase::locked);
}

TEST(ServerConnection, ConnectWaitsForTheRunQueuedBehindOneInFlight) {
    ServerHarness s;
    s.h.create();
    s.connect("ana");
    s.h.lock();
    // The passkey session's first run hangs at the server.
    s.server.hangNext("sync");
    s.unlockWithPasskey(false);
    ASSERT_TRUE(testing::spinUntil([&] { return s.server.callCount("sync") == 2; }));

    auto connecting = s.model().connectToServer("ben");
    ASSERT_TRUE(testing::spinUntil([&] { return s.config().serverAccount->handle == "ben"; }));
    for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
    EXPECT_FALSE(connecting.isReady());

    s.server.releaseHangs();
    QCoro::waitFor(connecting);
    // The run in flight, then exactly one more for the connection.
    EXPECT_EQ(s.server.callCount("sync"), 3);
    EXPECT_EQ(s.model().syncStatus().kind, AppSyncStatus::Kind::synced);
}

}  // namespace
}  // namespace vael
